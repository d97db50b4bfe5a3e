// rosterc ROSTER.tsv OUTPUT.cpp: compiles the roster data set into C++ source.
// On a data set the program cannot rely on it prints one message naming the
// file, the line and the problem, writes nothing and fails the build.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "roster/import.h"
#include "roster/roster.h"

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: rosterc ROSTER.tsv OUTPUT.cpp\n";
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
        source = rosterSource(importRoster(bytes.str(), ROSTER_ROWS), input);
    } catch (const ImportError& error) {
        std::cerr << input << ":" << error.line << ": error: " << error.what() << "\n";
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
