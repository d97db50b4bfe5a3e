#include "office/pack/pack_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "roster/utf.h"

namespace fs = std::filesystem;

namespace {

fs::path pathOf(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// PASSES,MIB: two whole numbers within the bounds every program file can
// take (512 MiB is what the 32-bit program can count on for one derivation).
SealCost parseCost(const std::string& text)
{
    const std::string error = "--cost " + text + ": ";
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        throw ArgumentRefused{error + "takes PASSES,MIB, two whole numbers, for example 8,64"};
    const auto number = [&](std::string_view digits, std::uint64_t max, const std::string& what) {
        std::uint64_t n = 0;
        const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || status == std::errc::invalid_argument || end != digits.data() + digits.size())
            throw ArgumentRefused{error + "takes PASSES,MIB, two whole numbers, for example 8,64"};
        if (status == std::errc::result_out_of_range || n < 1 || n > max)
            throw ArgumentRefused{error + what + " must be 1 to " + std::to_string(max)};
        return static_cast<std::uint32_t>(n);
    };
    const std::string_view all = text;
    return {number(all.substr(0, comma), MAX_SEAL_PASSES, "the passes"),
            number(all.substr(comma + 1), MAX_SEAL_MEM_KIB / 1024,
                   "the memory in MiB (a 32-bit program cannot count on more than 512 MiB)") *
                1024};
}

// --column FIELD=NAME: the column headed NAME holds FIELD.
void chooseColumn(ColumnChoice& columns, const std::string& choice)
{
    const auto equals = choice.find('=');
    const auto field = fieldOfKey(std::string_view(choice).substr(0, std::min(equals, choice.size())));
    const auto name = fromUtf8(equals == std::string::npos ? "" : choice.substr(equals + 1));
    if (!field || !name || name->empty())
        throw ArgumentRefused{"--column " + choice +
                              ": takes FIELD=NAME, FIELD one of zhun, shen, xing, chengji, beizhu, for example "
                              "chengji=总成绩"};
    columns[*field] = *name;
}

}  // namespace

std::string defaultCostText()
{
    return std::to_string(DEFAULT_SEAL_COST.opsLimit) + " passes over " +
           std::to_string(DEFAULT_SEAL_COST.memLimitKiB / 1024) + " MiB";
}

Command packCommand(PackOptions& into)
{
    return {
        .name = "varnholt-pack",
        .synopsis = "usage: varnholt-pack ROSTER [-o OUTPUT] [--program TEMPLATE] [--sheet NAME]\n"
                    "                     [--column FIELD=NAME]... [--encoding NAME] [--all-warnings]\n"
                    "                     [--no-protect] [--cost PASSES,MIB|auto] [--web | --site DIR]\n"
                    "                     [--sign CERT.p12 [--sign-pass-file FILE]]\n",
        .description = "Writes the program with the roster in it: by default beside ROSTER, named\n"
                       "after it. ROSTER: an Excel workbook (.xlsx, .xls, or Excel 2003 XML), an\n"
                       "OpenDocument spreadsheet (.ods), a web system's table export (HTML saved as\n"
                       ".xls), a file Excel saves (Unicode text, CSV UTF-8 or CSV), or UTF-8 text\n"
                       "with tabs, commas or semicolons, with the columns 准考证号, 身份证号, 姓名,\n"
                       "成绩 and 备注 (or zhun, shen, xing, chengji, beizhu) in any order under a\n"
                       "header row; other columns are ignored.\n",
        .options =
            {
                {.name = "-o",
                 .argument = "OUTPUT",
                 .help = "the program file to write",
                 .take = [&](const std::string& value) { into.output = pathOf(value); }},
                {.name = "--program",
                 .argument = "TEMPLATE",
                 .help = "the program to copy (default: the one beside this tool)",
                 .take = [&](const std::string& value) { into.program = pathOf(value); }},
                {.name = "--sheet",
                 .argument = "NAME",
                 .help = "the workbook's worksheet to read (default: every sheet\n"
                         "with the header, in order, as one roster)",
                 .take = [&](const std::string& value) { into.sheet = value; }},
                {.name = "--column",
                 .argument = "FIELD=NAME",
                 .help = "the column headed NAME (or its letter) holds FIELD:\n"
                         "zhun, shen, xing, chengji or beizhu, e.g. chengji=总成绩",
                 .take = [&](const std::string& value) { chooseColumn(into.columns, value); }},
                {.name = "--encoding",
                 .argument = "NAME",
                 .help = "utf-8, utf-16le or gb18030, instead of detecting it",
                 .take =
                     [&](const std::string& value) {
                         const auto encoding = encodingNamed(value);
                         if (!encoding)
                             throw ArgumentRefused{"unknown encoding " + value + " (utf-8, utf-16le or gb18030)"};
                         into.encoding = *encoding;
                     }},
                {.name = "--all-warnings",
                 .help = "list every warning, not the first of each kind",
                 .take = [&](const std::string&) { into.allWarnings = true; }},
                {.name = "--no-protect",
                 .help = "store the roster in the clear instead of sealed",
                 .take = [&](const std::string&) { into.protect = false; }},
                {.name = "--cost",
                 .argument = "PASSES,MIB",
                 .help = "Argon2id cost of each seal, 1 to 256 passes over 1 to\n"
                         "512 MiB (default: " +
                         defaultCostText() +
                         "); auto: about 0.25 s\n"
                         "on this machine, never less than the default",
                 .take =
                     [&](const std::string& value) {
                         into.cost = value == "auto" ? std::nullopt : std::optional(parseCost(value));
                     }},
                {.name = "--web",
                 .help = "write the web page (NAME.html) instead: one file that any\n"
                         "browser opens, from disk or from any web server;\n"
                         "TEMPLATE is then the page to copy (default: the one\n"
                         "installed with this tool)",
                 .take = [&](const std::string&) { into.web = true; }},
                {.name = "--site",
                 .argument = "DIR",
                 .help = "write a site instead, for a roster of any size: the page\n"
                         "(DIR/index.html) and the roster in small files beside\n"
                         "it, of which each lookup fetches one; any static web\n"
                         "server, object store or CDN serves the folder as it is",
                 .excludes = {"--web", "-o"},
                 .refusal = "--site DIR writes a folder: neither --web nor -o goes with it",
                 .take = [&](const std::string& value) { into.site = pathOf(value); }},
                {.name = "--sign",
                 .argument = "CERT.p12",
                 .help = "sign the Windows program (Authenticode, SHA-256) with the\n"
                         "certificate and key in CERT.p12, through osslsigncode",
                 .excludes = {"--web", "--site"},
                 .refusal = "--sign signs a Windows program; a web page carries no signature (serve it from the "
                            "office's own HTTPS address instead)",
                 .take = [&](const std::string& value) { into.signingCertificate = pathOf(value); }},
                {.name = "--sign-pass-file",
                 .argument = "FILE",
                 .help = "the file whose first line is CERT.p12's password",
                 .needs = "--sign",
                 .refusal = "--sign-pass-file goes with --sign CERT.p12",
                 .take = [&](const std::string& value) { into.signingPassFile = pathOf(value); }},
                {.name = "--help",
                 .shortName = "-h",
                 .help = "this text",
                 .take = [&](const std::string&) { into.help = true; }},
            },
        .operand =
            [&](const std::string& roster) {
                if (!into.roster.empty())
                    throw ArgumentRefused{"more than one roster given", true};
                into.roster = pathOf(roster);
            },
    };
}

std::string packUsage()
{
    PackOptions unused;
    return packCommand(unused).usage();
}

PackOptions parsePackOptions(const std::vector<std::string>& args)
{
    PackOptions options;
    const Command command = packCommand(options);
    const auto given = command.read(args);
    if (options.roster.empty() && !options.help)
        throw command.error("no roster given", true);
#ifdef _WIN32
    if (given.contains("--sign"))
        throw command.error(
            "--sign runs osslsigncode, on Linux; on Windows sign the program written with signtool: signtool sign "
            "/fd SHA256 /f CERT.p12 /p PASSWORD PROGRAM.exe");
#endif
    command.refuseCombinations(given);
    return options;
}
