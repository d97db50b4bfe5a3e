// The roster reader: the one place where a roster file becomes records. The
// build (office/pack/rosterc) and the office's packer read through it, so both
// accept and refuse the same files.
//
// It reads the files offices have:
//   - Excel workbooks (.xlsx, as Excel and WPS write them) and OpenDocument
//     spreadsheets (.ods, as LibreOffice and WPS write them): every worksheet
//     with the header, in order, as one roster, or the one named; numbers as
//     their formats show them;
//   - Excel 97-2003 workbooks (.xls) the same way, through FreeXL (patched
//     to tell number formats and formulas' saved results);
//   - Excel 2003 XML (SpreadsheetML) and web pages' HTML tables (a web
//     system's 导出Excel), whatever their file's name;
//   - UTF-8 text, tab-separated, with or without a byte-order mark, LF or CRLF;
//   - Excel's "Unicode text": UTF-16LE with a byte-order mark, tabs, CRLF;
//   - Excel's CSV: commas, in UTF-8 with a byte-order mark ("CSV UTF-8") or
//     in GB18030 (GBK, Excel's plain "CSV" on Chinese Windows).
// Without a byte-order mark, bytes that are not UTF-8 are read as GB18030.
// A text file is separated by tabs, commas or semicolons, whichever splits a
// header row from the others. In each, a field that starts with a quote runs to the closing
// quote, "" stands for one quote, and separators and line breaks inside are
// text; a quote anywhere else is an ordinary character.
//
// The five columns are found by their header, in any order, below any title
// rows, blanks and line breaks inside a name ignored, over one row or two (a
// group row above its columns' names); other columns are ignored. Rows are
// counted as the spreadsheet counts them: a record with a line break inside a
// field is one row. Text in one or two cells after the last record, with no
// ticket or identity number (a signature, a total), is skipped and named.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "roster/roster.h"

// A row as the spreadsheet numbers it (from 1; 0 for the file as a whole)
// and, in a workbook of several sheets, its sheet.
struct Place {
    std::string sheet;
    int row = 0;
    bool operator==(const Place&) const = default;
};

// Rows as a report names them: "row 5", "rows 5, 9", "第一考场!5, 9,
// 第二考场!3", with ", …" where `count` is more than those given.
std::string rowsNamed(const std::vector<Place>& places, std::size_t count = 0);

// A cell's text as a message shows it: a line break as ⏎, a tab as →, and
// what would act rather than show as visibleMark shows it.
std::string visible(std::u16string_view text);

// A character that would act on a terminal or a text box rather than show
// (a control character; a mark that reorders text, such as a right-to-left
// override) as a report shows it: ␛ for ESC, [U+202E]; empty for any other
// character, and for the tab, line feed and carriage return, which each
// report shows in its own way.
std::u16string visibleMark(char16_t c);

// One problem and the row it is on (counted from 1 as the spreadsheet does;
// 0 for the file as a whole), in a workbook of several sheets with its sheet.
struct RosterProblem {
    int row;
    std::string message;
    std::string sheet = {};
    // Where several columns could hold one field: the field (0 to 4, as
    // fieldOfKey numbers them) and each column's letter with how the header
    // shows it, for the office to choose one (--column KEY=LETTER).
    int field = -1;
    std::vector<std::pair<std::string, std::string>> columns = {};
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
    std::string sheet = {};
};

// A change made where its meaning is certain: how often, and the first rows.
struct RosterChange {
    std::string what;
    std::size_t count = 0;
    std::vector<Place> firstRows;  // at most RosterChange::SHOWN
    static constexpr std::size_t SHOWN = 5;
};

// The five fields by their short names: zhun, shen, xing, chengji, beizhu.
std::optional<std::size_t> fieldOfKey(std::string_view key);

// The header of a field chosen by the office (--column chengji=笔试总成绩),
// for each field; "" where the reader finds it.
using ColumnChoice = std::array<std::u16string, 5>;

enum class Encoding { Detect, Utf8, Utf16le, Gb18030 };

// utf-8, utf8, utf-16le, utf-16, utf16, gb18030, gbk, gb2312, cp936, 936
// (any case); nothing for another name.
std::optional<Encoding> encodingNamed(std::string_view name);

// A footer row skipped: where, and its text.
struct SkippedRow {
    Place place;
    std::u16string text;
};

// A sheet with the header that the workbook hides, left unread.
struct HiddenSheet {
    std::string name;
    bool veryHidden = false;  // Excel's menus cannot unhide it
};

// What a report says of such a sheet: that it was left unread, why, and how
// to pack it.
std::string hiddenSheetNote(const HiddenSheet& sheet);

struct RosterFile {
    std::vector<RosterRecord> records;
    std::vector<Place> rows;                   // the row of each record
    std::string format;                        // what was read, e.g. "CSV, GB18030"
    std::string encodingNote;                  // why the encoding was guessed, or ""
    std::vector<Place> headers;                // each sheet's header row; rows above were skipped
    std::vector<std::string> skippedSheets;    // sheets without the header
    std::vector<std::string> ignoredColumns;   // e.g. "考场 (F)"
    std::vector<std::string> chosenColumns;    // e.g. "总成绩 (F) as 成绩"
    std::vector<SkippedRow> footers;           // text after the last record
    std::vector<Place> hiddenRows;             // records on rows the sheet hides
    std::vector<std::string> hiddenColumns;    // the five columns' hidden ones, e.g. "成绩 (E)"
    std::vector<HiddenSheet> hiddenSheets;     // unread unless named with --sheet
    std::vector<std::string> mergedCells;      // e.g. "E6:E7 merged: 缺考 for rows 6, 7"
    std::vector<RosterChange> changes;         // what was normalized
    std::vector<RosterWarning> warnings;       // by kind, then by row
};

// Reads a roster of 1 to maxRecords records from a workbook or a text file
// (`encoding` applies to text; `sheet` names a workbook's worksheet, else
// every one with the header is read; `columns` names a field's header where
// several could be it). Names, scores and remarks are stored exactly as the
// file shows them (a workbook's numbers by their formats); ticket and
// identity numbers too, but for what is certain: full-width digits and
// letters become ASCII, ="…" is unwrapped, and a final lower-case x of an
// 18-character identity number becomes X. Refuses with an ImportError that
// names every problem by its row: a file that is not in its encoding or not
// a workbook, no header, a record with more fields than the header, an
// empty ticket or identity number, one with a blank in or around it, one
// that Excel turned into a number, a repeated one, no record, too many, a
// cell it cannot show as the sheet does (an error value, a formula never
// calculated, a number format it does not know).
RosterFile readRoster(std::string_view bytes, Encoding encoding = Encoding::Detect,
                      std::size_t maxRecords = ROSTER_MAX_RECORDS, std::string_view sheet = {},
                      const ColumnChoice& columns = {});

// An identity number as a report may show it: its first 6 characters (the
// region, which many candidates share) and an ellipsis, nothing of the birth
// date, sequence or check character; shorter than 14 characters, the
// ellipsis alone. Messages name the row beside it.
std::string maskIdentity(std::u16string_view number);
