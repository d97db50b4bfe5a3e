// varnholt-pack: makes the program for an examination office. It reads the
// office's roster (as its spreadsheet saves it), checks it, and writes a copy
// of the program file with that roster in its roster area, ready to hand out.
// By default the roster is protected: each candidate's identity number,
// name, score and remark are sealed so that only that identity number opens
// them. With --web it writes the web page instead: one HTML file carrying
// the same roster area, sealed the same way. Nothing is written unless
// everything succeeds.
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "roster/area_write.h"
#include "roster/page.h"
#include "import/read.h"
#include "roster/seal.h"
#include "roster/utf.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string USAGE =
    "usage: varnholt-pack ROSTER [-o OUTPUT] [--program TEMPLATE] [--encoding NAME]\n"
    "                     [--no-protect] [--cost PASSES,MIB] [--web]\n"
    "\n"
    "Writes the program with the roster in it: by default beside ROSTER, named\n"
    "after it. ROSTER: the five columns ticket, identity, name, score, remark, as\n"
    "Excel saves them (Unicode text, CSV UTF-8 or CSV) or as UTF-8 text with tabs.\n"
    "  -o OUTPUT           the program file to write\n"
    "  --program TEMPLATE  the program to copy (default: the one beside this tool)\n"
    "  --encoding NAME     utf-8, utf-16le or gb18030, instead of detecting it\n"
    "  --no-protect        store the roster in the clear instead of sealed\n"
    "  --cost PASSES,MIB   Argon2id cost of each seal (default: about 0.25 s and\n"
    "                      at least 64 MiB on this machine)\n"
    "  --web               write the web page (NAME.html) instead: one file that any\n"
    "                      browser opens, from disk or from any web server;\n"
    "                      TEMPLATE is then the page to copy (default: the one\n"
    "                      installed with this tool)\n";

// A failure that ends the tool: the message, already in FILE[:LINE]: error: form.
struct Failure {
    std::string message;
};

std::string display(const fs::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    if (!in || !(bytes << in.rdbuf()))
        throw Failure{display(path) + ": error: cannot read the file"};
    return bytes.str();
}

// The program file that lies beside this tool: the one it was shipped with.
fs::path besideThisTool(const char* name)
{
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(std::wstring(self, n)).parent_path() / name;
#else
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return (error ? fs::current_path() : self.parent_path()) / name;
#endif
}

struct Options {
    fs::path roster, output, program;
    Encoding encoding = Encoding::Detect;
    bool protect = true;
    std::optional<SealCost> cost;
    bool web = false;
};

Options parse(const std::vector<std::string>& args)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 == args.size())
                throw Failure{"varnholt-pack: error: " + arg + " needs a value\n\n" + USAGE};
            return args[++i];
        };
        const auto path = [](const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); };
        if (arg == "-o")
            options.output = path(value());
        else if (arg == "--program")
            options.program = path(value());
        else if (arg == "--encoding") {
            const auto encoding = encodingNamed(value());
            if (!encoding)
                throw Failure{"varnholt-pack: error: unknown encoding " + args[i] + " (utf-8, utf-16le or gb18030)"};
            options.encoding = *encoding;
        } else if (arg == "--no-protect")
            options.protect = false;
        else if (arg == "--web")
            options.web = true;
        else if (arg == "--cost") {
            unsigned passes = 0, mib = 0;
            char end = 0;
            if (std::sscanf(value().c_str(), "%u,%u%c", &passes, &mib, &end) != 2 || passes < 1 || mib < 1 ||
                mib > 4096)
                throw Failure{"varnholt-pack: error: --cost takes PASSES,MIB, for example 2,64"};
            options.cost = SealCost{passes, mib * 1024};
        } else if (arg == "-h" || arg == "--help")
            throw Failure{USAGE};
        else if (!arg.empty() && arg[0] == '-' && arg != "-")
            throw Failure{"varnholt-pack: error: unknown option " + arg + "\n\n" + USAGE};
        else if (options.roster.empty())
            options.roster = path(arg);
        else
            throw Failure{"varnholt-pack: error: more than one roster given\n\n" + USAGE};
    }
    if (options.roster.empty())
        throw Failure{USAGE};
    return options;
}

bool isWindowsProgram(const std::string& program) { return program.starts_with("MZ"); }

std::string hex(const unsigned char* bytes, std::size_t size)
{
    std::string out(size * 2, '\0');
    sodium_bin2hex(out.data(), out.size() + 1, bytes, size);
    return out;
}

std::string inQuotes(std::u16string_view text) { return "\"" + toUtf8(text) + "\""; }

// What the candidate of the record sees in Text4: the score trimmed of its
// spaces, one space, the remark.
std::u16string shownScore(const RosterFields& record)
{
    std::u16string_view score = record[3];
    score.remove_prefix(std::min(score.find_first_not_of(u' '), score.size()));
    score.remove_suffix(score.size() - (score.find_last_not_of(u' ') + 1));
    return std::u16string(score) + u" " + record[4];
}

// The report before anything is written: what the program will hold.
void report(std::ostream& out, const RosterFile& file, const fs::path& roster, const Options& options,
            const SealCost& cost)
{
    const auto& records = file.records;
    std::set<std::u16string> tickets;
    std::map<std::u16string, std::size_t> remarks;
    std::size_t endingInX = 0, zeroScores = 0, emptyScores = 0;
    for (const RosterFields& r : records) {
        tickets.insert(r[0]);
        endingInX += r[1].ends_with(u'X');
        const std::u16string shown = shownScore(r);
        emptyScores += shown.starts_with(u' ');
        zeroScores += shown.starts_with(u"0 ");
        ++remarks[r[4]];
    }
    out << "Roster " << display(roster) << ": " << file.format << "\n";
    if (!file.encodingNote.empty())
        out << "  note: " << file.encodingNote << "\n";
    out << "  records:                      " << records.size() << "\n"
        << "  distinct ticket numbers:      " << tickets.size() << "\n"
        << "  identity numbers ending in X: " << endingInX << "\n"
        << "  scores:                       " << records.size() - emptyScores << " given, " << zeroScores
        << " of them 0, " << emptyScores << " empty\n"
        << "  remarks:\n";
    for (const auto& [remark, count] : remarks)
        out << "    " << (remark.empty() ? std::string("(none)") : inQuotes(remark)) << ": " << count << "\n";
    const auto shown = [&](const char* which, std::size_t i) {
        out << "  " << which << " record (line " << file.lines[i] << "): ticket " << toUtf8(records[i][0])
            << ", name " << inQuotes(records[i][2]) << ", score " << inQuotes(shownScore(records[i])) << "\n";
    };
    shown("first", 0);
    shown("last ", records.size() - 1);
    if (options.protect)
        out << "  protected: each record sealed with its identity number (Argon2id, " << cost.opsLimit
            << (cost.opsLimit == 1 ? " pass, " : " passes, ") << cost.memLimitKiB / 1024
            << " MiB; XChaCha20-Poly1305)\n";
    else
        out << "  NOT protected (--no-protect): anyone with the file can read every record\n";
}

// Progress of the sealing once it has taken a second, in steps of 5 %.
std::function<void(std::size_t)> sealingProgress(std::size_t total)
{
    return [total, start = std::chrono::steady_clock::now(), lastStep = std::size_t{0}](std::size_t done) mutable {
        const std::size_t step = done * 20 / total;
        if (step == lastStep || std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            return;
        lastStep = step;
        std::cerr << "\rsealing records: " << done << " of " << total << " (" << step * 5 << " %)"
                  << (done == total ? "\n" : "") << std::flush;
    };
}

// Writes beside the output and renames, so the output is whole or untouched.
void writeProgram(const fs::path& output, const std::string& bytes, const fs::path& program)
{
    fs::path partial = output;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!(out << bytes) || (out.close(), !out)) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw Failure{display(output) + ": error: cannot write the program file"};
        }
    }
    std::error_code error;
    fs::permissions(partial, fs::status(program).permissions(), error);
    fs::rename(partial, output, error);
    if (error) {
        fs::remove(partial, error);
        throw Failure{display(output) + ": error: cannot write the program file"};
    }
}

// The page template shipped with this tool: beside it on Windows, in the
// package's data folder on Linux.
fs::path pageTemplate()
{
#ifdef _WIN32
    return besideThisTool("Varnholt.html");
#else
    return besideThisTool("../share/varnholt/varnholt.html").lexically_normal();
#endif
}

// The capacity of a page's roster area; a page without a sound one is refused.
std::size_t pageCapacity(const std::string& page, const fs::path& path)
{
    try {
        if (const auto text = findPageArea(page)) {
            const auto area = areaFromPageText(std::string_view(page).substr(text->offset, text->size));
            decodeArea(area);
            return area.size();
        }
    } catch (const RosterAreaError&) {
    }
    throw Failure{display(path) + ": error: not a Varnholt page (it has no sound roster element)"};
}

int pack(const Options& options)
{
    const fs::path program = !options.program.empty() ? options.program
                             : options.web            ? pageTemplate()
                                                      : besideThisTool(
#ifdef _WIN32
                                                            "Varnholt.exe"
#else
                                                            "varnholt"
#endif
                                                        );
    std::string image = readFile(program);
    const auto bytes = [](std::string& s) { return std::span(reinterpret_cast<unsigned char*>(s.data()), s.size()); };
    std::size_t at = 0, capacity = 0;
    if (options.web) {
        capacity = pageCapacity(image, program);
    } else {
        const auto found = findArea(bytes(image));
        if (!found)
            throw Failure{display(program) + ": error: not a Varnholt program file (it has no sound roster area)"};
        at = *found;
        capacity = areaCapacity(bytes(image).subspan(at));
    }

    RosterFile file;
    try {
        file = readRoster(readFile(options.roster), options.encoding);
    } catch (const ImportError& error) {
        throw Failure{display(options.roster) + ":" + std::to_string(error.line) + ": error: " + error.what()};
    }
    constexpr std::size_t SHOWN_WARNINGS = 30;
    for (std::size_t i = 0; i < std::min(file.warnings.size(), SHOWN_WARNINGS); ++i)
        std::cerr << display(options.roster) << ":" << file.warnings[i].line
                  << ": warning: " << file.warnings[i].message << "\n";
    if (file.warnings.size() > SHOWN_WARNINGS)
        std::cerr << display(options.roster) << ": " << file.warnings.size() - SHOWN_WARNINGS
                  << " more warnings not shown\n";

    const SealCost cost = options.protect
                              ? options.cost.value_or(calibrateCost(DEFAULT_SEAL_SECONDS, DEFAULT_SEAL_MEM_KIB))
                              : SealCost{0, 0};
    report(std::cout, file, options.roster, options, cost);
    std::cout << std::flush;

    std::string area;
    try {
        const auto seal = options.protect ? std::optional(cost) : std::nullopt;
        area = encodeArea(toCarry(file.records, capacity, seal, sealingProgress(file.records.size())), capacity);
    } catch (const AreaFullError& error) {
        throw Failure{display(options.roster) + ": error: the roster does not fit the program: it needs " +
                      std::to_string(error.needed) + " bytes, the program's roster area holds " +
                      std::to_string(error.capacity)};
    }
    if (options.web)
        image = *withPageArea(image, bytes(area));
    else
        std::copy(area.begin(), area.end(), image.begin() + static_cast<std::ptrdiff_t>(at));

    fs::path output = options.output;
    if (output.empty()) {
        const auto stem = options.roster.stem().u8string();
        output = options.roster.parent_path() / (options.web              ? program.stem().u8string() + u8"-" + stem + u8".html"
                                                 : isWindowsProgram(image) ? u8"Varnholt-" + stem + u8".exe"
                                                                           : u8"varnholt-" + stem);
    }
    if (fs::exists(output) && fs::equivalent(output, program))
        throw Failure{display(output) + ": error: that is the program being copied; name another output with -o"};
    writeProgram(output, image, program);

    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(image.data()), image.size());
    std::cout << "Written: " << display(output) << "\n  SHA-256 " << hex(digest, sizeof digest) << "\n";
    return 0;
}

int run(const std::vector<std::string>& args)
{
    if (sodium_init() < 0) {
        std::cerr << "varnholt-pack: error: libsodium cannot start\n";
        return 1;
    }
    try {
        return pack(parse(args));
    } catch (const Failure& failure) {
        std::cerr << failure.message << (failure.message.ends_with('\n') ? "" : "\n");
    } catch (const std::exception& error) {
        std::cerr << "varnholt-pack: error: " << error.what() << "\n";
    }
    return 1;
}

}  // namespace

#ifdef _WIN32
// Windows: arguments arrive as UTF-16 and the console is told to show UTF-8.
// A roster dropped onto the tool starts it in a console of its own, which
// would close at once: then the report stays until Enter is pressed.
int wmain(int argc, wchar_t* argv[])
{
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        args.push_back(toUtf8(std::u16string(arg.begin(), arg.end())));
    }
    const int status = run(args);
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        std::cout << "\n按 Enter 键关闭此窗口 (press Enter to close this window)" << std::flush;
        std::cin.get();
    }
    return status;
}
#else
int main(int argc, char* argv[])
{
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
