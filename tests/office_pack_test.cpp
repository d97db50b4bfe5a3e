// varnholt-pack's command line: what its table of options accepts, what it
// refuses and with which message, and the usage it writes.
#include <gtest/gtest.h>

#include "office/pack/pack_options.h"

namespace {

std::string refusal(const std::vector<std::string>& args)
{
    try {
        parsePackOptions(args);
    } catch (const CommandLineError& error) {
        return error.what();
    }
    return "accepted";
}

// PASSES,KIB, or "auto".
std::string costOf(std::optional<SealCost> cost)
{
    return cost ? std::to_string(cost->opsLimit) + "," + std::to_string(cost->memLimitKiB) : "auto";
}

}  // namespace

TEST(PackOptions, usageNamesEveryOptionInItsSynopsisAndBesideItsHelp)
{
    const std::string usage = packUsage();
    const std::string synopsis = usage.substr(0, usage.find("\n\n"));
    PackOptions unused;
    for (const Option& option : packCommand(unused).options) {
        const std::string named = option.name + (option.argument.empty() ? "" : " " + option.argument);
        if (option.name != "--help") {
            EXPECT_NE(synopsis.find(named), std::string::npos) << named;
        }
        const std::string shortName = option.shortName.empty() ? "" : option.shortName + ", ";
        EXPECT_NE(usage.find("\n  " + shortName + named + " "), std::string::npos) << named;
    }
    // The help stands in one column, or two spaces after a longer name.
    for (const char* line : {"\n  -o OUTPUT           the program file to write\n",
                             "\n  --column FIELD=NAME the column headed NAME (or its letter) holds FIELD:\n"
                             "                      zhun, shen, xing, chengji or beizhu, e.g. chengji=总成绩\n",
                             "\n  --sign-pass-file FILE  the file whose first line is CERT.p12's password\n",
                             "\n  -h, --help          this text\n"})
        EXPECT_NE(usage.find(line), std::string::npos) << line;
    EXPECT_TRUE(usage.starts_with("usage: varnholt-pack ROSTER [-o OUTPUT]"));
    EXPECT_TRUE(usage.ends_with("this text\n"));
}

TEST(PackOptions, eachOptionChoosesWhatItNames)
{
    const PackOptions plain = parsePackOptions({"名单.xlsx"});
    EXPECT_EQ(plain.roster, std::filesystem::path(u8"名单.xlsx"));
    EXPECT_TRUE(plain.protect);
    EXPECT_EQ(costOf(plain.cost), costOf(DEFAULT_SEAL_COST));

    std::vector<std::string> args{"--no-protect", "r.txt", "-o", "out", "--column", "chengji=总成绩", "--column",
                                  "xing=C", "--encoding", "GBK", "--cost", "8,64"};
#ifndef _WIN32  // signing runs osslsigncode, on Linux only
    args.insert(args.end(), {"--sign", "c.p12", "--sign-pass-file", "p"});
#endif
    const PackOptions chosen = parsePackOptions(args);
    EXPECT_EQ(chosen.roster, "r.txt");
    EXPECT_EQ(chosen.output, "out");
    EXPECT_FALSE(chosen.protect);
    EXPECT_EQ(chosen.columns[3], u"总成绩");
    EXPECT_EQ(chosen.columns[2], u"C");
    EXPECT_EQ(chosen.encoding, Encoding::Gb18030);
    EXPECT_EQ(costOf(chosen.cost), "8,65536");
#ifndef _WIN32
    EXPECT_EQ(chosen.signingPassFile, "p");
#endif

    EXPECT_EQ(costOf(parsePackOptions({"r", "--cost", "auto"}).cost), "auto");
    EXPECT_EQ(parsePackOptions({"r", "--site", "d"}).site, "d");
    EXPECT_TRUE(parsePackOptions({"-h"}).help);  // no roster needed
}

TEST(PackOptions, refusesAMistakenCommandLineWithItsMessage)
{
    const std::string usage = "\n\n" + packUsage();
    const std::string error = "varnholt-pack: error: ";
    const std::string site = error + "--site DIR writes a folder: neither --web nor -o goes with it";
    const std::string sign = error + "--sign signs a Windows program; a web page carries no signature (serve it "
                                     "from the office's own HTTPS address instead)";
    const struct {
        std::vector<std::string> args;
        std::string said;
    } refused[] = {
        {{}, error + "no roster given" + usage},
        {{"--site", "d", "--web"}, error + "no roster given" + usage},
        {{"r", "s"}, error + "more than one roster given" + usage},
        {{"r", "--bogus"}, error + "unknown option --bogus" + usage},
        {{"r", "-o"}, error + "-o needs a value" + usage},
        // A value is refused where it stands, before what follows it.
        {{"r", "--cost", "8", "--bogus"},
         error + "--cost 8: takes PASSES,MIB, two whole numbers, for example 8,64"},
        {{"r", "--column", "chengji"},
         error + "--column chengji: takes FIELD=NAME, FIELD one of zhun, shen, xing, chengji, beizhu, for "
                 "example chengji=总成绩"},
        {{"r", "--encoding", "latin1"}, error + "unknown encoding latin1 (utf-8, utf-16le or gb18030)"},
        {{"r", "--site", "d", "--web"}, site},
        {{"-o", "x", "r", "--site", "d"}, site},
        {{"--help", "--web", "--site", "d"}, site},
        {{"r", "--sign-pass-file", "p", "--site", "d", "--web"}, error + "--sign-pass-file goes with --sign CERT.p12"},
#ifdef _WIN32
        {{"r", "--sign", "c.p12", "--web"},
         error + "--sign runs osslsigncode, on Linux; on Windows sign the program written with signtool: signtool "
                 "sign /fd SHA256 /f CERT.p12 /p PASSWORD PROGRAM.exe"},
#else
        {{"r", "--sign", "c.p12", "--web"}, sign},
        {{"r", "--site", "d", "--sign", "c.p12"}, sign},
#endif
    };
    for (const auto& [args, said] : refused)
        EXPECT_EQ(refusal(args), said) << testing::PrintToString(args);
}
