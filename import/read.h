// The roster reader: the one place where a roster file becomes records. The
// build (roster/rosterc) and the office's packer read through it, so both
// accept and refuse the same files.
//
// It reads the files offices have, five columns in the order ticket,
// identity, name, score, remark, under a header of our column names or the
// Chinese ones:
//   - UTF-8 text, tab-separated, with or without a byte-order mark, LF or CRLF;
//   - Excel's "Unicode text": UTF-16LE with a byte-order mark, tabs, CRLF;
//   - Excel's CSV: commas, in UTF-8 with a byte-order mark ("CSV UTF-8") or
//     in GB18030 (GBK, Excel's plain "CSV" on Chinese Windows).
// Without a byte-order mark, bytes that are not UTF-8 are read as GB18030.
// A header line holding a tab makes the file tab-separated, else comma-
// separated. In either, a field that starts with a quote runs to the closing
// quote, "" stands for one quote, and separators and line breaks inside are
// text; a quote anywhere else is an ordinary character. A row whose fields
// are all empty is skipped (with a warning unless only such rows follow).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "roster/roster.h"

using RosterFields = std::array<std::u16string, 5>;  // zhun, shen, xing, chengji, beizhu


// A roster the program cannot rely on: the line (counted from 1; 0 for the
// file as a whole) and the problem.
class ImportError : public std::runtime_error {
public:
    ImportError(int line, const std::string& problem) : std::runtime_error(problem), line(line) {}
    int line;
};

// Something the program can live with but the office should look at.
struct RosterWarning {
    int line;
    std::string message;
};

enum class Encoding { Detect, Utf8, Utf16le, Gb18030 };

// utf-8, utf8, utf-16le, utf-16, utf16, gb18030, gbk, gb2312, cp936, 936
// (any case); nothing for another name.
std::optional<Encoding> encodingNamed(std::string_view name);

struct RosterFile {
    std::vector<RosterFields> records;
    std::vector<int> lines;               // the line each record starts on
    std::string format;                   // what was read, e.g. "CSV, GB18030"
    std::string encodingNote;             // why the encoding was guessed, or ""
    std::vector<RosterWarning> warnings;  // in line order
};

// Reads a roster of 1 to maxRecords records. Every field is stored exactly as
// given; byte-order marks and line ends are not stored. Refuses, with an
// ImportError naming the line: text that is not in the encoding, a missing or
// different header, a record without exactly five fields, a stray carriage
// return, an unclosed quote, an empty ticket or identity number, one with a
// blank in or around it, one that Excel turned into a number, a ticket or
// identity number that repeats an earlier one, no record, too many records.
RosterFile readRoster(std::string_view bytes, Encoding encoding = Encoding::Detect,
                      std::size_t maxRecords = ROSTER_MAX_RECORDS);
