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
inline constexpr std::string_view PAGE_PROGRAM_START = R"(<script type="application/octet-stream" id="program")";

// Where a text lies in the page: the roster element's, and the policy's
// (whatever the element's content holds: the template's placeholder or an
// earlier policy), if the page has that element.
struct PageText {
    std::size_t offset, size;
};
std::optional<PageText> findPageArea(std::string_view page);
std::optional<PageText> findPagePolicy(std::string_view page);

// What the page may take from its own origin: nothing (a page), or its
// buckets (roster/bucket.h) and its program's files (a site's page).
enum class PageConnections { none, self };

// The page with the element's text replaced by this area and its policy
// written: default-src 'none', its inline scripts and styles allowed by
// their SHA-256, its WebAssembly, data: images, and these connections (and
// for a site, scripts from its own origin: the program's, checked by the
// page's integrity attribute).
// Nullopt if the page has no roster element or no policy.
std::optional<std::string> withPageArea(std::string_view page, std::span<const unsigned char> area,
                                        PageConnections connections = PageConnections::none);

// A site's page with its program (the WebAssembly and the script that runs
// it) in files of their own beside it, which stay the same across packings
// so that browsers and caches keep them: each file's name (from its SHA-256)
// and bytes, and the page that names them with their SHA-256, which the
// browser checks before running them (the script's integrity attribute, the
// WebAssembly's fetch in form/web/toolkit.js). Nullopt if the page has no
// inline program followed by its script.
struct ProgramFile {
    std::string name, bytes;
};
struct ProgramOutside {
    std::string page;
    ProgramFile wasm, script;
};
std::optional<ProgramOutside> withProgramOutside(std::string_view page);
