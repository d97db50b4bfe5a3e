// The packer: the office's roster read and checked, then a copy of the
// program (or the web page, or a site) made with that roster in it, sealed
// unless protection is off. varnholt-pack and the office's window are two
// faces of it: both read, report and make through these functions, so they
// accept the same rosters and write the same files.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "office/pack/pack_options.h"
#include "office/read/read.h"
#include "office/write/seal.h"
#include "office/write/site.h"

// A failure that ends a packing: the message in FILE[:LINE]: error: form.
class PackFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A packing stopped on request; nothing of it is left.
class PackCancelled : public std::runtime_error {
public:
    PackCancelled() : std::runtime_error("cancelled") {}
};

// The program file and the page template shipped beside the packer.
std::filesystem::path programTemplate();
std::filesystem::path pageTemplate();

bool isWindowsProgram(const std::string& image);

// The program or page to copy, and its roster area: where it starts in a
// program, and how many bytes it holds.
struct Template {
    std::filesystem::path path;
    std::string image;
    std::size_t at = 0, capacity = 0;
};

// The template the options name (--program, or the one shipped for what
// they make), read and its area found: an unsound one is refused
// (PackFailure) before any work.
Template readTemplate(const PackOptions& options);

// --sign: a Windows template, and the certificate and password files found
// now, not after the sealing.
void checkSigning(const PackOptions& options, const Template& program);

// The roster as read: its records' texts (identity numbers among them) and
// the file's bytes are wiped when it goes, however packing ends, so that the
// memory they free keeps no copy.
struct ReadRoster {
    std::string bytes;
    RosterFile file;
    std::vector<RosterProblem> problems;  // empty unless the roster is refused
    ReadRoster() = default;
    ReadRoster(const ReadRoster&) = delete;
    ReadRoster& operator=(const ReadRoster&) = delete;
    ~ReadRoster();
};

// Reads options.roster into `roster`: PackFailure when the file cannot be
// read; false, with roster.problems, when it is refused.
bool readRecords(ReadRoster& roster, const PackOptions& options);

// The printed report, as varnholt-pack prints it: every error by row (up to
// a limit); warnings by kind; a cost weaker than the default; what the
// roster holds and how it will be protected.
void reportErrors(std::ostream& out, const std::filesystem::path& roster, const std::vector<RosterProblem>& problems);
void reportWarnings(std::ostream& out, const std::filesystem::path& roster, const std::vector<RosterWarning>& warnings,
                    bool all);
void warnIfWeaker(std::ostream& out, const PackOptions& options);
void report(std::ostream& out, const RosterFile& file, const std::filesystem::path& roster,
            const PackOptions& options, const SealCost& cost);

// A roster too large for the template's area (or for the count an area
// holds) is refused (PackFailure) before any work, saying what fits and how
// to split it.
void checkFits(const std::vector<RosterRecord>& records, const PackOptions& options, std::size_t capacity);

// The cost the options choose: none in the clear; --cost auto timed here.
SealCost chosenCost(const PackOptions& options);

// Where a program or page goes: -o, or beside the roster named after it; a
// path that is the template itself is refused.
std::filesystem::path defaultOutput(const PackOptions& options, const std::filesystem::path& program,
                                    const std::string& image);
std::filesystem::path outputPath(const PackOptions& options, const Template& program);

// What making is told and asked while it runs. `announce` hears the cost
// once the output is known to be writable, just before sealing; `progress`
// hears the records done of all, on the thread that called make; a set
// `cancel` (read between records) stops it with PackCancelled.
struct MakeHooks {
    std::function<void(SealCost cost)> announce = {};
    std::function<void(std::size_t done, std::size_t total)> progress = {};
    const std::atomic<bool>* cancel = nullptr;
};

// What was written: the program or page with its size and SHA-256, or the
// site's page, folder and buckets.
struct Made {
    std::filesystem::path path;
    std::uintmax_t bytes = 0;
    std::string sha256;  // hex; a program's or page's
    std::optional<SiteWritten> site;
};

// Makes what the options say from the roster read: a site into
// options.site, else the program or page at outputPath, written whole or
// not at all. Throws PackFailure (nothing written) or PackCancelled.
Made make(const PackOptions& options, const RosterFile& file, Template& program, const MakeHooks& hooks);
