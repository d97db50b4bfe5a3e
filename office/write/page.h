// Writing the roster element of a web page (roster/page.h), and the policy
// of a site's page.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::string_view PAGE_AREA_START = R"(<script type="application/octet-stream" id="roster">)";
inline constexpr std::string_view PAGE_AREA_END = "</script>";

// Where the element's text lies in the page, if the page has the element.
struct PageText {
    std::size_t offset, size;
};
std::optional<PageText> findPageArea(std::string_view page);

// The page with the element's text replaced by this area; nullopt if the
// page has no such element.
std::optional<std::string> withPageArea(std::string_view page, std::span<const unsigned char> area);

// The page of a site (roster/bucket.h): its policy allows connections to its
// own origin, and to nothing else, for the buckets. Nullopt if the page has
// no policy that forbids every connection.
std::optional<std::string> withSitePolicy(std::string_view page);
