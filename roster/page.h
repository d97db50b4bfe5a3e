// The roster area in the web page. A page cannot carry the area as a block
// of a program file: it carries it as the text of one inert element, the
// area's bytes up to its last non-zero byte in base64,
//   <script type="application/octet-stream" id="roster">BASE64</script>
// The page reads it when the form is made; the build (roster/rosterc) and
// varnholt-pack replace it, nothing else. The area itself is the one of
// roster/area.h: the same format, the same sealing.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view PAGE_AREA_START = R"(<script type="application/octet-stream" id="roster">)";
inline constexpr std::string_view PAGE_AREA_END = "</script>";

// The area from the element's text: decoded, and zeros added up to the
// capacity its header states. Throws RosterAreaError for text that is not
// base64 or an area larger than its capacity; decodeArea checks the rest.
std::vector<unsigned char> areaFromPageText(std::string_view text);

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
