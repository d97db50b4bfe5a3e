// The roster area of the page: the text of its roster element (roster/page.h),
// read once, when the form first asks for the roster.
#include <emscripten.h>

#include <string>

#include "roster/area.h"
#include "roster/page.h"
#include "roster/roster.h"
#include "roster/seal.h"

EM_JS(int, tk_roster_text_size, (), {
    var element = document.getElementById('roster');
    return element ? lengthBytesUTF8(element.textContent) : -1;
});
EM_JS(void, tk_read_roster_text, (char* out, int size),
      { stringToUTF8(document.getElementById('roster').textContent, out, size + 1); });

// A page without its roster element, or with one that is not base64 of an
// area, throws RosterAreaError: the damaged-roster error, as in a program file.
std::span<const unsigned char> rosterArea()
{
    static const std::vector<unsigned char> area = [] {
        const int size = tk_roster_text_size();
        if (size < 0)
            throw RosterAreaError("the page has no roster element");
        std::string text(static_cast<std::size_t>(size), '\0');
        tk_read_roster_text(text.data(), size);
        return areaFromPageText(text);
    }();
    return area;
}

// Called by the page when it is idle after loading: for a sealed roster, the
// key derivation's memory is taken and touched and its code warmed up now,
// not at the first 确  定. A roster that fails to load has been reported.
extern "C" EMSCRIPTEN_KEEPALIVE void tk_prepare()
{
    try {
        const SiteIndex* site = carriedSite();
        if (const SealScope& scope = site ? site->scope : carriedRoster().scope; sealsRecords(scope))
            warmUpDerivation(scope.cost);
    } catch (...) {
    }
}
