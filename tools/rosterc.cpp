// rosterc ROSTER OUTPUT.cpp: compiles the roster data set into C++ source.
// On a data set the program cannot rely on it prints one message naming the
// file, the line and the problem, writes nothing and fails the build.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "roster/read.h"
#include "roster/roster.h"
#include "roster/utf.h"

namespace {

// A C++ UTF-16 literal for the text: CJK and other printable characters as
// they are, everything else as an escape the compiler reads back exactly.
std::string literal(std::u16string_view text)
{
    std::string out = "u\"";
    char buffer[12];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\' && c != u'?')
            out += static_cast<char>(c);
        else if ((c > 0x3000 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF5E))
            out += toUtf8(text.substr(i, 1));
        else if (c < 0x80)
            std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned>(c)), out += buffer;
        else if (c >= 0xD800 && c <= 0xDBFF)  // imported text holds surrogates in pairs only
            std::snprintf(buffer, sizeof buffer, "\\U%08X",
                          0x10000u + ((c - 0xD800u) << 10) + (text[++i] - 0xDC00u)),
                out += buffer;
        else
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c)), out += buffer;
    }
    return out + "\"sv";
}

// C++ source that defines ROSTER_DATA from the records.
std::string rosterSource(const std::vector<RosterFields>& records, std::string_view origin)
{
    std::string out = "// Generated at build time from " + std::string(origin) +
                      " by tools/rosterc. Do not edit.\n"
                      "#include \"roster/roster.h\"\n\n"
                      "using namespace std::literals;\n\n"
                      "const RosterRecord ROSTER_DATA[ROSTER_ROWS] = {\n";
    for (const auto& fields : records) {
        out += "    {";
        for (std::size_t i = 0; i < fields.size(); ++i)
            out += (i ? ", " : "") + literal(fields[i]);
        out += "},\n";
    }
    return out + "};\n";
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: rosterc ROSTER OUTPUT.cpp\n";
        return 2;
    }
    const std::string input = argv[1], output = argv[2];
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << input << ": error: cannot read the roster file\n";
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();

    std::string source;
    try {
        const RosterFile roster = readRoster(bytes.str(), Encoding::Detect, ROSTER_ROWS);
        if (roster.records.size() != ROSTER_ROWS)
            throw ImportError(0, "the roster has " + std::to_string(roster.records.size()) +
                                     " records; the program is built for exactly " + std::to_string(ROSTER_ROWS));
        source = rosterSource(roster.records, input);
    } catch (const ImportError& error) {
        std::cerr << input << (error.line ? ":" + std::to_string(error.line) : std::string()) << ": error: "
                  << error.what() << "\n";
        return 1;
    }

    // Written beside the output and renamed, so a failed write leaves no half file.
    const std::string partial = output + ".partial";
    std::ofstream out(partial, std::ios::binary);
    if (!(out << source) || (out.close(), !out) || std::rename(partial.c_str(), output.c_str()) != 0) {
        std::cerr << output << ": error: cannot write the roster source\n";
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
