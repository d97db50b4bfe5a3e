// The build-time import of the roster data set: a UTF-8 text file of
// tab-separated fields, a header line, then one record a line. The build
// turns it into C++ source (tools/rosterc) so that nothing is read at run time.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using RosterFields = std::array<std::u16string, 5>;  // zhun, shen, xing, chengji, beizhu

inline constexpr std::string_view ROSTER_HEADER = "zhun\tshen\txing\tchengji\tbeizhu";

// A data set the program cannot rely on: the line (counted from 1) and the problem.
class ImportError : public std::runtime_error {
public:
    ImportError(int line, const std::string& problem)
        : std::runtime_error(problem), line(line) {}
    int line;
};

// Parses a data set of exactly `rows` records. Accepts a UTF-8 byte-order
// mark and CRLF line ends and keeps neither; every field is stored exactly as
// given otherwise. Throws ImportError for: bytes that are not UTF-8, a missing
// or different header, a record without exactly five fields, another number of
// records, an empty ticket or identity number, blanks around either, or a
// ticket number that repeats an earlier one.
std::vector<RosterFields> importRoster(std::string_view bytes, int rows);
