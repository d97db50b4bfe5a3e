// Writing a web page: the text of its roster element (roster/page.h) and
// its Content-Security-Policy, which only this writer makes.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::string_view PAGE_AREA_START = R"(<script type="application/octet-stream" id="roster">)";
inline constexpr std::string_view PAGE_AREA_END = "</script>";
inline constexpr std::string_view PAGE_POLICY_START = R"(<meta http-equiv="Content-Security-Policy" content=")";

// Where a text lies in the page: the roster element's, and the policy's
// (whatever the element's content holds: the template's placeholder or an
// earlier policy), if the page has that element.
struct PageText {
    std::size_t offset, size;
};
std::optional<PageText> findPageArea(std::string_view page);
std::optional<PageText> findPagePolicy(std::string_view page);

// What the page's script may connect to: nothing (a page), or its own
// origin, for the buckets (a site's page, roster/bucket.h).
enum class PageConnections { none, self };

// The page with the element's text replaced by this area and its policy
// written: default-src 'none', its inline scripts and styles allowed by
// their SHA-256, its WebAssembly, data: images, and these connections.
// Nullopt if the page has no roster element or no policy.
std::optional<std::string> withPageArea(std::string_view page, std::span<const unsigned char> area,
                                        PageConnections connections = PageConnections::none);
