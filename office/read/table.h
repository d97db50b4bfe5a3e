// A roster file decoded into rows of cells, before its columns are mapped:
// text files (office/read/text.cpp), workbooks (office/read/xlsx.cpp) and Excel 97-2003
// workbooks (office/read/xls.cpp), one table for each sheet. Internal to the reader.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "office/read/read.h"

struct Cell {
    Cell(std::size_t column, std::u16string text) : column(column), text(std::move(text)) {}
    std::size_t column;     // from 0 (A)
    std::u16string text;
    bool number = false;    // a workbook's number cell; `text` as the sheet shows it
    bool formatted = false; // a number shown by a format other than General
    std::string problem;    // why the cell cannot be taken as shown (an error value, an unknown format), or ""
};

struct TableRow {
    int row;                  // as the spreadsheet numbers it, from 1
    std::vector<Cell> cells;  // by column; a workbook leaves empty cells out
    bool hidden = false;      // a row the sheet hides
    bool total = false;       // a row a workbook's table marks as its totals
};

// Cells merged into one: the value is the first cell's, shown over all.
struct Merge {
    int firstRow, lastRow;                 // as the spreadsheet numbers them
    std::size_t firstColumn, lastColumn;   // from 0 (A)
};

struct Table {
    std::vector<TableRow> rows;          // in order; a workbook leaves empty rows out
    std::string format;                  // e.g. "CSV, UTF-8"
    std::string encodingNote;            // why the encoding was guessed, or ""
    char16_t separator = 0;              // of a text file; 0 for a workbook
    std::string sheet;                   // a workbook's sheet; "" for a text file
    bool hidden = false;                 // a sheet the workbook hides
    bool veryHidden = false;             // hidden where Excel's menus cannot show it
    std::vector<Merge> merges;
    std::vector<std::size_t> hiddenColumns;
    std::vector<RosterProblem> problems; // what splitting the rows found wrong
};

// Text in one of the encodings, cut into rows of fields: at the first of
// tab, comma and semicolon whose rows `hasHeader`, else as the first line
// holding one of them says. Throws an ImportError for bytes that are not in
// the encoding, at their row and column.
Table readText(std::string_view bytes, Encoding encoding, const std::function<bool(const Table&)>& hasHeader);

// A number cell as the format of id `formatId` (its code; none for a
// built-in format whose look depends on Excel's language) shows it, or why
// it cannot be shown.
void showNumber(Cell& cell, double number, int formatId, const std::optional<std::string>& code, bool date1904);

// A cell that shows an error value (#N/A): refused, with what to do.
void showError(Cell& cell, const std::string& shown);

// The worksheet named `sheet`, or every worksheet in the workbook's order;
// numbers as their formats show them. Throws an ImportError for an archive
// or part that is not a sound workbook, or a sheet it does not have.
std::vector<Table> readWorkbook(std::string_view bytes, std::string_view sheet);

// The same of an Excel 97-2003 workbook (.xls), read with FreeXL.
std::vector<Table> readXls(std::string_view bytes, std::string_view sheet);

// The refusal of a sheet name the workbook does not have, naming those it has.
[[noreturn]] void noSuchSheet(std::string_view sheet, const std::vector<std::string>& names);
// The sheet of that name alone, or every sheet where the name is empty.
std::vector<Table> sheetNamed(std::vector<Table> tables, std::string_view sheet);

// The same of an OpenDocument spreadsheet (.ods): its tables, numbers as
// their number styles show them.
std::vector<Table> readOds(std::string_view bytes, std::string_view sheet);

// The same of an Excel 2003 XML document (SpreadsheetML), and whether the
// bytes are one, whatever the file's name.
std::vector<Table> readSpreadsheetMl(std::string_view bytes, std::string_view sheet);
bool isSpreadsheetMl(std::string_view bytes);

// The tables of a web page (a web system's "Excel" export, HTML saved as
// .xls, .xlsx or .htm), and whether the bytes are one; read with libxml2,
// which the Windows builds do not have yet.
std::vector<Table> readHtmlTables(std::string_view bytes, std::string_view sheet);
bool isHtmlTable(std::string_view bytes);

// A ZIP archive holding an OpenDocument spreadsheet rather than a workbook.
bool isOpenDocument(std::string_view bytes);

// ZIP archives (.xlsx) and OLE2 compound files (.xls, .et, or a workbook
// with a password): told by their first bytes.
bool isZip(std::string_view bytes);
bool isCompoundFile(std::string_view bytes);

// The spreadsheet's name of a column: A, B, …, Z, AA, …
std::string columnName(std::size_t column);

// A roster's columns, in every kind of file: a cell further right is refused
// with columnsExceeded, at its row.
inline constexpr std::size_t MAX_COLUMNS = 1024;
ImportError columnsExceeded(int row, std::size_t column);
