// varnholt-pack: makes the program for an examination office. It reads the
// office's roster (as its spreadsheet saves it), checks it, and writes a copy
// of the program file with that roster in its roster area, ready to hand out.
// By default the roster is protected: each candidate's identity number,
// name, score and remark are sealed so that only that identity number opens
// them. With --web it writes the web page instead: one HTML file carrying
// the same roster area, sealed the same way. Nothing is written unless
// everything succeeds.
#include <sodium.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "office/pack/packer.h"
#include "roster/utf.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string display(const fs::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Progress of the sealing once it has taken a second: on a terminal in steps
// of 5 %, rewriting one line; into a log or a pipe a line every tenth.
std::function<void(std::size_t)> sealingProgress(std::size_t total, const char* what = "sealing records")
{
    const bool terminal = isatty(fileno(stderr));
    const std::size_t steps = terminal ? 20 : 10;
    return [=, start = std::chrono::steady_clock::now(), lastStep = std::size_t{0}](std::size_t done) mutable {
        const std::size_t step = done * steps / total;
        if (step == lastStep || std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            return;
        lastStep = step;
        std::cerr << (terminal ? "\r" : "") << what << ": " << done << " of " << total << " ("
                  << step * 100 / steps << " %)" << (done == total || !terminal ? "\n" : "") << std::flush;
    };
}

// The report before any sealing, at the cost chosen: a weaker cost first,
// then what the roster holds, then its warnings; then the sealing's progress.
MakeHooks printed(const PackOptions& options, const RosterFile& file)
{
    const char* what = options.site.empty() || options.protect ? "sealing records" : "writing records";
    return {.announce =
                [&](SealCost cost) {
                    warnIfWeaker(std::cout, options);
                    report(std::cout, file, options.roster, options, cost);
                    reportWarnings(std::cout, options.roster, file.warnings, options.allWarnings);
                    std::cout << std::flush;
                },
            .progress = [step = sealingProgress(file.records.size(), what)](std::size_t done, std::size_t) mutable {
                step(done);
            }};
}

// What was written, as the office reads it after the report.
void reportMade(const PackOptions& options, const Made& made)
{
    if (const auto& site = made.site) {
        std::cout << "Written: " << display(site->page) << "\n  and " << site->buckets
                  << (site->buckets == 1 ? " bucket" : " buckets") << " in " << display(site->folder) << ": "
                  << site->bytes / 1024 << " KiB, " << site->smallest << " to " << site->largest << " bytes each\n"
                  << "  Publish the whole folder; the page is index.html (see the office's guide for the server).\n";
        return;
    }
    std::cout << "Written: " << display(made.path) << "\n  SHA-256 " << made.sha256 << "\n";
    if (!options.signingCertificate.empty())
        std::cout << "  signed with " << display(options.signingCertificate) << " (Authenticode, SHA-256)\n";
}

int pack(const PackOptions& options)
{
    if (options.help) {
        std::cout << packUsage();
        return 0;
    }
    Template program = readTemplate(options);
    checkSigning(options, program);
    ReadRoster roster;
    if (!readRecords(roster, options)) {
        reportErrors(std::cerr, options.roster, roster.problems);
        return 1;
    }
    reportMade(options, make(options, roster.file, program, printed(options, roster.file)));
    return 0;
}

int run(const std::vector<std::string>& args)
{
    if (sodium_init() < 0) {
        std::cerr << "varnholt-pack: error: libsodium cannot start\n";
        return 1;
    }
    const auto say = [](std::string_view message) { std::cerr << message << (message.ends_with('\n') ? "" : "\n"); };
    try {
        return pack(parsePackOptions(args));
    } catch (const PackFailure& failure) {
        say(failure.what());
    } catch (const CommandLineError& error) {
        say(error.what());
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
