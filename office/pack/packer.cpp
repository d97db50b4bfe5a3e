// The packer's steps (packer.h): the template and the roster read, the
// report, the fit checked, and the program, page or site made.
#include "office/pack/packer.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "office/write/area_write.h"
#include "office/write/file.h"
#include "office/write/page.h"
#include "office/write/twin.h"
#include "query/shown.h"
#include "roster/page.h"
#include "roster/wipe.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using Failure = PackFailure;

std::string display(const fs::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The operating system's reason for the last failure of a file operation.
std::string reason() { return std::strerror(errno); }

std::string readFile(const fs::path& path)
{
    std::error_code error;
    if (fs::is_directory(path, error))
        throw Failure{display(path) + ": error: cannot read the file: it is a folder"};
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    std::string bytes(in ? std::istreambuf_iterator<char>(in) : std::istreambuf_iterator<char>(), {});
    if (!in || in.bad())
        throw Failure{display(path) + ": error: cannot read the file: " + reason()};
    return bytes;
}

// The program file the tool is shipped with, beside it.
#ifdef _WIN32
constexpr const char* PROGRAM_FILE = "Varnholt.exe";
#else
constexpr const char* PROGRAM_FILE = "varnholt";
#endif

// The file of this name that lies beside this tool: one it was shipped with.
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

std::string hex(const unsigned char* bytes, std::size_t size)
{
    std::string out(size * 2, '\0');
    sodium_bin2hex(out.data(), out.size() + 1, bytes, size);
    return out;
}

std::string inQuotes(std::u16string_view text) { return "\"" + visible(text) + "\""; }

// What the candidate of the record sees in Text4, by the query's own rule.
std::u16string shownScore(const RosterRecord& record)
{
    return ::shownScore(record.chengji, record.beizhu);
}

// A score that shows zero, whatever its decimals or unit: 0, 0.0, 0分.
bool zeroScore(std::u16string_view score)
{
    while (!score.empty() && score.front() == u' ')
        score.remove_prefix(1);
    const auto number = score.find_first_not_of(u"0.");
    const auto digits = score.substr(0, number);
    return digits.find(u'0') != std::u16string_view::npos && digits.find(u'.') == digits.rfind(u'.') &&
           (number == std::u16string_view::npos || score[number] < u'0' || score[number] > u'9');
}

}  // namespace

bool isWindowsProgram(const std::string& image) { return image.starts_with("MZ"); }

fs::path programTemplate() { return besideThisTool(PROGRAM_FILE); }

ReadRoster::~ReadRoster()
{
    for (RosterRecord& record : file.records)
        for (const auto field : ROSTER_FIELDS)
            wipe(record.*field);
    wipe(bytes);
}

// Every error, by row, up to a limit; nothing will be written.
void reportErrors(std::ostream& out, const fs::path& roster, const std::vector<RosterProblem>& problems)
{
    constexpr std::size_t SHOWN_ERRORS = 50;
    for (std::size_t i = 0; i < std::min(problems.size(), SHOWN_ERRORS); ++i)
        out << display(roster) << (problems[i].row ? ": " + rowsNamed({{problems[i].sheet, problems[i].row}}) : std::string())
            << ": error: " << problems[i].message << "\n";
    if (problems.size() > SHOWN_ERRORS)
        out << display(roster) << ": " << problems.size() - SHOWN_ERRORS << " more errors not shown\n";
    out << display(roster) << ": " << problems.size() << (problems.size() == 1 ? " error" : " errors")
        << "; nothing written\n";
}

// Warnings by kind, the kinds that can make a lookup fail first: each with
// its count and its first rows, or all of them.
void reportWarnings(std::ostream& out, const fs::path& roster, const std::vector<RosterWarning>& warnings,
                    bool all)
{
    constexpr std::size_t SHOWN_PER_KIND = 5;
    for (auto kind = warnings.begin(); kind != warnings.end();) {
        const auto end = std::find_if(kind, warnings.end(), [&](const auto& w) { return w.kind != kind->kind; });
        const auto count = static_cast<std::size_t>(end - kind);
        out << display(roster) << ": warning: " << warningKindTitle(kind->kind) << ": " << count << "\n";
        for (auto w = kind; w != end && (all || w - kind < static_cast<std::ptrdiff_t>(SHOWN_PER_KIND)); ++w)
            out << "  " << rowsNamed({{w->sheet, w->row}}) << ": " << w->message << "\n";
        if (!all && count > SHOWN_PER_KIND)
            out << "  … " << count - SHOWN_PER_KIND << " more (--all-warnings lists them)\n";
        kind = end;
    }
}

// A cost below the default, said before anything else: a guess costs about
// passes × memory, so each is cheaper by that factor.
void warnIfWeaker(std::ostream& out, const PackOptions& options)
{
    const auto work = [](SealCost c) { return static_cast<double>(c.opsLimit) * c.memLimitKiB; };
    if (!options.protect || !options.cost || work(*options.cost) >= work(DEFAULT_SEAL_COST))
        return;
    char factor[32];
    std::snprintf(factor, sizeof factor, "%.3g", work(DEFAULT_SEAL_COST) / work(*options.cost));
    out << "WEAKER THAN THE DEFAULT: at --cost " << options.cost->opsLimit << "," << options.cost->memLimitKiB / 1024
        << " a guess at an identity number is " << factor << " times cheaper than at the default ("
        << defaultCostText() << ")\n"
        << std::flush;
}

// The report before anything is written: what the program will hold.
void report(std::ostream& out, const RosterFile& file, const fs::path& roster, const PackOptions& options,
            const SealCost& cost)
{
    const auto& records = file.records;
    std::set<std::u16string> tickets;
    std::map<std::u16string, std::size_t> remarks;
    std::size_t endingInX = 0, zeroScores = 0, emptyScores = 0;
    for (const RosterRecord& r : records) {
        tickets.insert(r.zhun);
        endingInX += r.shen.ends_with(u'X');
        const std::u16string shown = shownScore(r);
        emptyScores += shown.starts_with(u' ');
        zeroScores += zeroScore(r.chengji);
        ++remarks[r.beizhu];
    }
    out << "Roster " << display(roster) << ": " << file.format << "\n";
    if (!file.encodingNote.empty())
        out << "  note: " << file.encodingNote << "\n";
    for (const std::string& sheet : file.skippedSheets)
        out << "  skipped: the sheet \"" << sheet << "\", which has no header row\n";
    for (const Place& header : file.headers)
        if (header.row > 1)
            out << "  skipped: " << (header.row == 2 ? "row 1" : "rows 1–" + std::to_string(header.row - 1))
                << (header.sheet.empty() ? "" : " of the sheet \"" + header.sheet + "\"") << ", above the header ("
                << rowsNamed({{"", header.row}}) << ")\n";
    for (const SkippedRow& footer : file.footers)
        out << "  skipped: after the last record, " << rowsNamed({footer.place}) << ": " << inQuotes(footer.text)
            << "\n";
    for (const std::string& column : file.chosenColumns)
        out << "  chosen: the column " << column << "\n";
    for (const std::string& column : file.ignoredColumns)
        out << "  ignored: the column " << column << "\n";
    for (const HiddenSheet& sheet : file.hiddenSheets)
        out << "  skipped: " << hiddenSheetNote(sheet) << "\n";
    for (const std::string& merged : file.mergedCells)
        out << "  merged: " << merged << "\n";
    for (const std::string& column : file.hiddenColumns)
        out << "  hidden: the column " << column << ", read like the others\n";
    if (!file.hiddenRows.empty())
        out << "  hidden: " << file.hiddenRows.size() << (file.hiddenRows.size() == 1 ? " row" : " rows")
            << " packed: "
            << rowsNamed(std::vector(file.hiddenRows.begin(),
                                     file.hiddenRows.begin() + static_cast<std::ptrdiff_t>(
                                                                   std::min<std::size_t>(file.hiddenRows.size(), 10))),
                         file.hiddenRows.size())
            << "\n";
    for (const RosterChange& change : file.changes)
        out << "  changed: " << change.what << ": " << change.count << " (" << rowsNamed(change.firstRows, change.count)
            << ")\n";
    out << "  records:                      " << records.size() << "\n"
        << "  distinct ticket numbers:      " << tickets.size() << "\n"
        << "  identity numbers ending in X: " << endingInX << "\n"
        << "  scores:                       " << records.size() - emptyScores << " given, " << zeroScores
        << " of them 0, " << emptyScores << " empty\n"
        << "  remarks:\n";
    for (const auto& [remark, count] : remarks)
        out << "    " << (remark.empty() ? std::string("(none)") : inQuotes(remark)) << ": " << count << "\n";
    if (options.protect)
        out << "  protected: each record sealed with its identity number (Argon2id, " << cost.opsLimit
            << (cost.opsLimit == 1 ? " pass, " : " passes, ") << memoryText(cost)
            << "; XChaCha20-Poly1305)\n";
    else
        out << "  NOT protected (--no-protect): anyone with the file can read every record\n";
}

// Beside the roster, named after it: a page after its template, a program as
// the program is named on its system.
fs::path defaultOutput(const PackOptions& options, const fs::path& program, const std::string& image)
{
    const auto stem = options.roster.stem().u8string();
    const std::u8string name = options.web                ? program.stem().u8string() + u8"-" + stem + u8".html"
                               : isWindowsProgram(image) ? u8"Varnholt-" + stem + u8".exe"
                                                         : u8"varnholt-" + stem;
    return options.roster.parent_path() / name;
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

namespace {

// The capacity of a page's roster area; a page without a sound one, or
// without a policy to write, is refused.
std::size_t pageCapacity(const std::string& page, const fs::path& path)
{
    try {
        if (const auto text = findPageArea(page)) {
            const auto area = areaFromPageText(std::string_view(page).substr(text->offset, text->size));
            decodeArea(area);
            if (!findPagePolicy(page))
                throw Failure{display(path) + ": error: not a Varnholt page (it has no Content-Security-Policy)"};
            return area.size();
        }
    } catch (const RosterAreaError&) {
    }
    throw Failure{display(path) + ": error: not a Varnholt page (it has no sound roster element)"};
}

#ifndef _WIN32
// Runs osslsigncode with these arguments, its output into `log`; true when it
// succeeds.
bool osslsigncode(std::vector<std::string> args, const fs::path& log)
{
    args.insert(args.begin(), "osslsigncode");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    const int error = posix_spawnp(&child, "osslsigncode", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error == ENOENT)
        throw Failure{"varnholt-pack: error: --sign needs osslsigncode (Debian: apt install osslsigncode)"};
    if (error)
        throw Failure{"varnholt-pack: error: cannot start osslsigncode: " + std::string(std::strerror(error))};
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The packed Windows program signed with Authenticode (SHA-256). Packing
// changed the bytes a template's own signature covers, so that signature is
// removed first. The passing files lie beside the output and go on every path.
std::string signedProgram(const std::string& image, const PackOptions& options, const fs::path& output)
{
    struct Passing {
        fs::path path;
        ~Passing()
        {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    };
    const auto beside = [&](const char* suffix) { return Passing{fs::path(output) += suffix}; };
    const Passing packed = beside(".packed"), unsigned_ = beside(".unsigned"), signed_ = beside(".signed"),
                  log = beside(".sign-log");
    {
        errno = 0;
        std::ofstream out(packed.path, std::ios::binary | std::ios::trunc);
        if (!(out << image) || (out.close(), !out))
            throw Failure{display(packed.path) + ": error: cannot write the file: " + reason()};
    }
    // Fails on a program that carries no signature: then it is the packed one.
    const fs::path& toSign =
        osslsigncode({"remove-signature", "-in", display(packed.path), "-out", display(unsigned_.path)}, log.path)
            ? unsigned_.path
            : packed.path;
    std::error_code ignored;
    fs::remove(log.path, ignored);  // what the removal said is no news
    std::vector<std::string> args{"sign", "-pkcs12", display(options.signingCertificate), "-h", "sha256"};
    if (!options.signingPassFile.empty())
        args.insert(args.end(), {"-readpass", display(options.signingPassFile)});
    else
        args.insert(args.end(), {"-pass", ""});
    args.insert(args.end(), {"-in", display(toSign), "-out", display(signed_.path)});
    if (!osslsigncode(args, log.path)) {
        std::string said = readFile(log.path);
        throw Failure{display(options.signingCertificate) + ": error: signing failed; osslsigncode said:\n" + said};
    }
    return readFile(signed_.path);
}
#endif

std::span<const unsigned char> bytesOf(const std::string& s)
{
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

}  // namespace

// A roster too large for the roster area (or for the count an area holds)
// is refused before any work, saying what fits: records like these in the
// clear and protected, in this program or page and in the web page, and how
// to split it.
void checkFits(const std::vector<RosterRecord>& records, const PackOptions& options, std::size_t capacity)
{
    const std::size_t plain = areaNeeded(records, false), sealed = areaNeeded(records, true);
    const std::size_t needed = options.protect ? sealed : plain, count = records.size();
    if (needed <= capacity && count <= ROSTER_MAX_RECORDS)
        return;
    const auto fits = [&](std::size_t room, std::size_t need) {
        return std::min(ROSTER_MAX_RECORDS, (room - ROSTER_AREA_HEADER) * count / (need - ROSTER_AREA_HEADER));
    };
    const auto holds = [&](std::size_t room) {
        return std::to_string(room) + " bytes of roster: about " + std::to_string(fits(room, plain)) +
               " records like these in the clear, " + std::to_string(fits(room, sealed)) + " protected";
    };
    std::string message = display(options.roster) + ": error: the roster does not fit. " +
                          (options.web ? "This web page" : "This program") + " holds " + holds(capacity);
    if (!options.web) {
        std::error_code missing;
        if (const fs::path page = pageTemplate(); fs::exists(page, missing))
            message += "; the web page " + holds(pageCapacity(readFile(page), page));
    }
    const std::size_t most = std::max<std::size_t>(1, fits(capacity, needed));
    message += ". These " + std::to_string(count) + " records need " + std::to_string(needed) + " bytes" +
               (options.protect ? " protected" : " in the clear") + ": split the roster into " +
               std::to_string((count + most - 1) / most) + " parts of at most " + std::to_string(most) +
               " records (one for each examination room, for example: --sheet packs one sheet of a workbook) and "
               "make " + (options.web ? "a page" : "a program") + " of each" +
               (options.web ? ", or make a web site, which holds any number, with --site DIR" : "");
    throw Failure{message};
}

SealCost chosenCost(const PackOptions& options)
{
    return !options.protect ? SealCost{0, 0}
           : options.cost   ? *options.cost
                            : calibrateCost(AUTO_SEAL_SECONDS, DEFAULT_SEAL_COST);
}

// The template, read and its area found: an unsound one is refused before
// any work.
Template readTemplate(const PackOptions& options)
{
    const bool page = options.web || !options.site.empty();
    Template program;
    program.path = !options.program.empty() ? options.program : page ? pageTemplate() : programTemplate();
    program.image = readFile(program.path);
    if (page) {
        program.capacity = pageCapacity(program.image, program.path);
        return program;
    }
    std::optional<std::size_t> found;
    try {
        found = findArea(bytesOf(program.image));
    } catch (const RosterAreaError& error) {  // an area of an earlier version
        throw Failure{display(program.path) + ": error: " + error.what()};
    }
    if (!found)
        throw Failure{display(program.path) + ": error: not a Varnholt program file (it has no sound roster area)"};
    program.at = *found;
    program.capacity = areaCapacity(bytesOf(program.image).subspan(program.at));
    return program;
}

// --sign: a Windows template, and the certificate and password files found
// now, not after the sealing.
void checkSigning(const PackOptions& options, const Template& program)
{
    if (options.signingCertificate.empty())
        return;
    if (!isWindowsProgram(program.image))
        throw Failure{display(program.path) + ": error: --sign signs a Windows program (.exe); this is not one"};
    readFile(options.signingCertificate);
    if (!options.signingPassFile.empty())
        readFile(options.signingPassFile);
}

bool readRecords(ReadRoster& roster, const PackOptions& options)
{
    roster.bytes = readFile(options.roster);
    try {
        roster.file = readRoster(roster.bytes, options.encoding, std::numeric_limits<std::size_t>::max(), options.sheet,
                                 options.columns);
        roster.problems.clear();
        return true;
    } catch (const ImportError& error) {
        roster.problems = error.problems;
        return false;
    }
}

// Where the program goes: -o, or beside the roster; never over the
// template itself.
fs::path outputPath(const PackOptions& options, const Template& program)
{
    const fs::path output =
        options.output.empty() ? defaultOutput(options, program.path, program.image) : options.output;
    std::error_code same;
    if (fs::equivalent(output, program.path, same))
        throw Failure{display(output) + ": error: that is the program being copied; name another output with -o"};
    return output;
}


namespace {

// The records, sealed at `cost` unless in the clear, put into the
// template's roster area.
void putRoster(Template& program, const std::vector<RosterRecord>& records, const PackOptions& options,
               SealCost cost, const std::function<void(std::size_t)>& progress)
{
    const auto seal = options.protect ? std::optional(cost) : std::nullopt;
    const std::string area = encodeArea(toCarry(records, program.capacity, seal, progress), program.capacity);
    if (options.web)
        program.image = *withPageArea(program.image, bytesOf(area));
    else
        std::copy(area.begin(), area.end(), program.image.begin() + static_cast<std::ptrdiff_t>(program.at));
}

// --site DIR: the page and the buckets, written into the folder.
Made makeSite(const PackOptions& options, const RosterFile& file, const std::string& page, SealCost cost,
              const std::function<void(std::size_t)>& progress)
{
    try {
        SiteWritten site =
            writeSite(file.records, options.protect ? std::optional(cost) : std::nullopt, options.site, page, progress);
        return {site.page, site.bytes, {}, site};
    } catch (const SiteError& error) {
        throw Failure{error.what()};
    }
}

// The program (or page) with the roster in it, written whole or not at all
// (office/write/file.h), then named with its SHA-256.
Made makeProgram(const PackOptions& options, const RosterFile& file, Template& program, const MakeHooks& hooks,
                 const std::function<void(std::size_t)>& progress)
{
    const fs::path output = outputPath(options, program);
    try {
        WholeFile written(output);  // opened now: a folder that cannot be written is found before the sealing
        const SealCost cost = chosenCost(options);
        if (hooks.announce)
            hooks.announce(cost);
        putRoster(program, file.records, options, cost, progress);
        if (hooks.cancel && *hooks.cancel)
            throw PackCancelled();
#ifndef _WIN32
        if (!options.signingCertificate.empty())
            program.image = signedProgram(program.image, options, output);
#endif
        if (options.web)
            writeTwin(output, program.image);  // first: if it fails, an earlier page and its twin still agree
        std::error_code ignored;
        written.commit(program.image, fs::status(program.path, ignored).permissions());
    } catch (const WriteError& error) {
        throw Failure{display(output) + ": error: cannot write the program file: " + error.what()};
    }
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(program.image.data()), program.image.size());
    return {output, program.image.size(), hex(digest, sizeof digest), std::nullopt};
}

}  // namespace

Made make(const PackOptions& options, const RosterFile& file, Template& program, const MakeHooks& hooks)
{
    if (hooks.cancel && *hooks.cancel)
        throw PackCancelled();
    const std::size_t total = file.records.size();
    // Heard after each record sealed: the place to stop between records.
    const auto progress = [&](std::size_t done) {
        if (hooks.cancel && *hooks.cancel)
            throw PackCancelled();
        if (hooks.progress)
            hooks.progress(done, total);
    };
    if (!options.site.empty()) {
        const SealCost cost = chosenCost(options);
        if (hooks.announce)
            hooks.announce(cost);
        return makeSite(options, file, program.image, cost, progress);
    }
    checkFits(file.records, options, program.capacity);
    return makeProgram(options, file, program, hooks, progress);
}
