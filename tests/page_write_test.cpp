// The page writer (office/write/page.h): the roster element filled, and the
// policy written for a page and for a site.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "office/write/page.h"

namespace {

const std::string TEMPLATE = R"(<head>
<meta http-equiv="Content-Security-Policy" content="@POLICY@">
<style>b{}</style>
</head><body>
<script type="application/octet-stream" id="roster">old</script>
<script type="application/octet-stream" id="program">AAAA</script>
<script>go()</script>
<script>
two()
</script>
</body>)";
const unsigned char AREA[] = {1, 2, 3, 0, 0};

// The policy's sources, from Python's hashlib: the bare <script> and <style>
// bodies in order, never the typed elements.
const std::string SOURCES = "script-src 'sha256-5KYv+PUboo5h+0+YAtGRPbwv5d/QxzHslP4YGnUaxRw=' "
                            "'sha256-CO+FkcwFIluZ98XczjkmxJwzME+ATnUpm+699SF3auo=' 'wasm-unsafe-eval'; "
                            "style-src 'sha256-7yqHVAesot11p6HczDsgKRipvI5UPgs97z80zNXlans='; "
                            "img-src data:; base-uri 'none'; form-action 'none'";

std::string text(const std::string& page, std::optional<PageText> at)
{
    return at ? page.substr(at->offset, at->size) : "(none)";
}

}  // namespace

TEST(PageWrite, fillsTheRosterElementAndWritesThePolicy)
{
    const auto page = withPageArea(TEMPLATE, AREA);
    ASSERT_TRUE(page);
    EXPECT_EQ(text(*page, findPageArea(*page)), "AQID");  // the used bytes only
    EXPECT_EQ(text(*page, findPagePolicy(*page)), "default-src 'none'; " + SOURCES);
    const std::string rest = R"(<script type="application/octet-stream" id="program">)";
    EXPECT_EQ(page->substr(page->find(rest)), TEMPLATE.substr(TEMPLATE.find(rest)));  // untouched

    // A written page as the template (varnholt-pack's): the same page again,
    // or a site's page, whose script may reach its own origin.
    EXPECT_EQ(withPageArea(*page, AREA), page);
    const auto site = withPageArea(*page, AREA, PageConnections::self);
    ASSERT_TRUE(site);
    EXPECT_EQ(text(*site, findPagePolicy(*site)), "default-src 'none'; connect-src 'self'; " + SOURCES);
    EXPECT_EQ(withPageArea(*site, AREA), page);
}

TEST(PageWrite, refusesAPageWithoutTheRosterElementOrThePolicy)
{
    std::string noRoster = TEMPLATE, noPolicy = TEMPLATE;
    noRoster.erase(noRoster.find(" id=\"roster\""), 12);
    noPolicy.erase(noPolicy.find("http-equiv"), 36);
    EXPECT_FALSE(withPageArea(noRoster, AREA));
    EXPECT_FALSE(withPageArea(noPolicy, AREA));
    EXPECT_FALSE(withPageArea(TEMPLATE.substr(0, TEMPLATE.find("old")), AREA));  // an element never closed
}
