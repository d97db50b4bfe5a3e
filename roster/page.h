// The roster area in the web page. A page cannot carry the area as a block
// of a program file: it carries it as the text of one inert element, the
// area's bytes up to its last non-zero byte in base64,
//   <script type="application/octet-stream" id="roster">BASE64</script>
// The page reads it when the form is made; the build (office/pack/rosterc)
// and varnholt-pack replace it (office/write/page.h), nothing else. The area itself is the one of
// roster/area.h: the same format, the same sealing.
#pragma once

#include <string_view>
#include <vector>

// The area from the element's text: decoded, and zeros added up to the
// capacity its header states. Throws RosterAreaError for text that is not
// base64 or an area larger than its capacity; decodeArea checks the rest.
std::vector<unsigned char> areaFromPageText(std::string_view text);
