// The roster reader: the one place where a roster file becomes records. The
// build (roster/rosterc) and the office's packer read through it, so both
// accept and refuse the same files.
//
// It reads the files offices have:
//   - Excel workbooks (.xlsx, as Excel and WPS write them): the first
//     worksheet, or the one named;
//   - UTF-8 text, tab-separated, with or without a byte-order mark, LF or CRLF;
//   - Excel's "Unicode text": UTF-16LE with a byte-order mark, tabs, CRLF;
//   - Excel's CSV: commas, in UTF-8 with a byte-order mark ("CSV UTF-8") or
//     in GB18030 (GBK, Excel's plain "CSV" on Chinese Windows).
// Without a byte-order mark, bytes that are not UTF-8 are read as GB18030.
// A tab in the first lines makes a text file tab-separated, else comma-
// separated. In either, a field that starts with a quote runs to the closing
// quote, "" stands for one quote, and separators and line breaks inside are
// text; a quote anywhere else is an ordinary character.
//
// The five columns are found by their header, in any order, below any title
// rows; other columns are ignored. Rows are counted as the spreadsheet counts
// them: a record with a line break inside a field is one row.
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

// One problem and the row it is on (counted from 1 as the spreadsheet does;
// 0 for the file as a whole).
struct RosterProblem {
    int row;
    std::string message;
    bool operator==(const RosterProblem&) const = default;
};

// A roster the program cannot rely on: every problem found, in row order.
// An identity number in a message is masked (see maskIdentity).
class ImportError : public std::runtime_error {
public:
    ImportError(int row, const std::string& problem) : ImportError(std::vector<RosterProblem>{{row, problem}}) {}
    explicit ImportError(std::vector<RosterProblem> problems)
        : std::runtime_error(problems.front().message), problems(std::move(problems))
    {
    }
    int row() const { return problems.front().row; }
    std::vector<RosterProblem> problems;
};

// Kinds of warnings, those that can make a candidate's lookup fail first.
enum class WarningKind { Identity, NotChinese, EmptyScore, EmptyName, TicketLength, Blanks, EmptyRow };

// What a kind is about, e.g. "names with a character that is not Chinese".
const char* warningKindTitle(WarningKind kind);

// Something the program can live with but the office should look at.
struct RosterWarning {
    WarningKind kind;
    int row;
    std::string message;
};

// A change made where its meaning is certain: how often, and the first rows.
struct RosterChange {
    std::string what;
    std::size_t count = 0;
    std::vector<int> firstRows;  // at most RosterChange::SHOWN
    static constexpr std::size_t SHOWN = 5;
};

enum class Encoding { Detect, Utf8, Utf16le, Gb18030 };

// utf-8, utf8, utf-16le, utf-16, utf16, gb18030, gbk, gb2312, cp936, 936
// (any case); nothing for another name.
std::optional<Encoding> encodingNamed(std::string_view name);

struct RosterFile {
    std::vector<RosterFields> records;
    std::vector<int> rows;                     // the row of each record
    std::string format;                        // what was read, e.g. "CSV, GB18030"
    std::string encodingNote;                  // why the encoding was guessed, or ""
    int headerRow = 1;                         // rows above it were skipped
    std::vector<std::string> ignoredColumns;   // e.g. "考场 (F)"
    std::vector<RosterChange> changes;         // what was normalized
    std::vector<RosterWarning> warnings;       // by kind, then by row
};

// Reads a roster of 1 to maxRecords records from a workbook or a text file
// (`encoding` applies to text; `sheet` names a workbook's worksheet, else the
// first). Names, scores and remarks are stored exactly as given; ticket and
// identity numbers too, but for what is certain: full-width digits and
// letters become ASCII, ="…" is unwrapped, and a final lower-case x of an
// 18-character identity number becomes X. Refuses with an ImportError that
// names every problem by its row: a file that is not in its encoding or not
// a workbook, no header, a record with more fields than the header, an
// empty ticket or identity number, one with a blank in or around it, one
// that Excel turned into a number, a repeated one, no record, too many.
RosterFile readRoster(std::string_view bytes, Encoding encoding = Encoding::Detect,
                      std::size_t maxRecords = ROSTER_MAX_RECORDS, std::string_view sheet = {});

// An identity number as a report may show it: its first 6 characters (the
// region, which many candidates share) and an ellipsis, nothing of the birth
// date, sequence or check character; shorter than 14 characters, the
// ellipsis alone. Messages name the row beside it.
std::string maskIdentity(std::u16string_view number);
