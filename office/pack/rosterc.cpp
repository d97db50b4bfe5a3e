// rosterc ROSTER OUTPUT.cpp: fills the program's roster area from the roster
// data set at build time. With --page TEMPLATE it writes the web page instead:
// the template with its roster element filled (roster/page.h) and its policy
// written. On a data set the program cannot rely on it prints every problem,
// naming the file and the row, writes nothing and fails the build.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "office/pack/options.h"
#include "office/write/area_write.h"
#include "office/write/file.h"
#include "office/write/page.h"
#include "office/read/read.h"

namespace {

// C++ source that defines the roster area: its used bytes, the rest zero, in
// a section of its own.
std::string areaSource(const std::string& area)
{
    std::size_t used = area.find_last_not_of('\0') + 1;
    std::string out =
        "// Generated at build time by office/pack/rosterc. Do not edit.\n"
        "#include \"roster/area.h\"\n\n"
        "namespace {\n"
        "__attribute__((section(\".roster\"), used, aligned(16)))\n"
        "const unsigned char AREA[ROSTER_AREA_CAPACITY] = {";
    char byte[16];
    for (std::size_t i = 0; i < used; ++i) {
        std::snprintf(byte, sizeof byte, "%s%u,", i % 24 ? "" : "\n    ", static_cast<unsigned char>(area[i]));
        out += byte;
    }
    return out + "\n};\n}  // namespace\n\nstd::span<const unsigned char> rosterArea() { return AREA; }\n";
}

}  // namespace

int main(int argc, char* argv[])
{
    bool protect = false;
    std::string page;
    std::vector<std::string> operands;
    const Command command{
        .name = "rosterc",
        .synopsis = "usage: rosterc ROSTER OUTPUT.cpp [--protect]\n"
                    "       rosterc ROSTER OUTPUT.html --page TEMPLATE.html [--protect]\n",
        .description = "Writes the roster area that holds ROSTER as C++ source, or the page\n"
                       "TEMPLATE.html with its roster element filled.\n",
        .options =
            {
                {.name = "--page",
                 .argument = "TEMPLATE.html",
                 .help = "write the page instead of the source",
                 .take = [&](const std::string& value) { page = value; }},
                {.name = "--protect",
                 .help = "seal the records at the packer's default cost",
                 .take = [&](const std::string&) { protect = true; }},
            },
        .operand =
            [&](const std::string& operand) {
                if (operands.size() == 2)
                    throw ArgumentRefused{"more than ROSTER and OUTPUT given", true};
                operands.push_back(operand);
            },
    };
    try {
        command.refuseCombinations(command.read(std::vector<std::string>(argv + 1, argv + argc)));
        if (operands.size() < 2)
            throw command.error("ROSTER and OUTPUT are both needed", true);
    } catch (const CommandLineError& error) {
        std::cerr << error.what();
        return 2;
    }
    const std::string &input = operands[0], &output = operands[1];
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << input << ": error: cannot read the roster file\n";
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();

    std::string source;
    try {
        // Protected: sealed at the packer's default cost.
        const auto seal = protect ? std::optional(DEFAULT_SEAL_COST) : std::nullopt;
        const std::string area = encodeArea(toCarry(readRoster(bytes.str()).records, ROSTER_AREA_CAPACITY, seal));
        if (page.empty()) {
            source = areaSource(area);
        } else {
            std::ifstream pageIn(page, std::ios::binary);
            std::ostringstream pageBytes;
            pageBytes << pageIn.rdbuf();
            const auto filled =
                withPageArea(pageBytes.str(), std::span(reinterpret_cast<const unsigned char*>(area.data()), area.size()));
            if (!filled) {
                std::cerr << page << ": error: not a page template (it has no roster element or no policy)\n";
                return 1;
            }
            source = *filled;
        }
    } catch (const ImportError& error) {
        for (const RosterProblem& problem : error.problems)
            std::cerr << input << (problem.row ? ": " + rowsNamed({{problem.sheet, problem.row}}) : std::string())
                      << ": error: " << problem.message << "\n";
        return 1;
    } catch (const std::exception& error) {  // the roster does not fit, or sealing failed
        std::cerr << input << ": error: " << error.what() << "\n";
        return 1;
    }

    try {
        WholeFile(output).commit(source);
    } catch (const WriteError&) {
        std::cerr << output << ": error: cannot write the roster source\n";
        return 1;
    }
    return 0;
}
