// Number formats: the text a spreadsheet shows for a number by its format
// code, in Excel's syntax. Workbooks (.xlsx) carry such codes; the number
// styles of .ods files are turned into the same codes (office/read/ods.cpp), so
// both are shown by one formatter.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Why a number cannot be shown: a code the reader does not know, a date out
// of the spreadsheets' range.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The code of one of Excel's built-in formats (0–49) that every Excel shows
// alike, 14 and 22 as Chinese Excel and WPS show them; nothing for an id
// whose look depends on the language of Excel.
std::optional<std::string> builtinFormat(int id);

// What the sheet shows for `value` under `code` (date serials counted from
// 1904 where `date1904`). Throws a FormatError for a code it does not know.
std::string formatNumber(double value, std::string_view code, bool date1904 = false);

// What the sheet shows for a text cell under `code`: its text section, or
// the text itself.
std::string formatText(std::string_view text, std::string_view code);

// An ISO 8601 date ("2025-06-02", "2025-06-02T09:30:00.5Z") or time
// ("09:30:00") as the date serial a spreadsheet stores (from 1904 where
// `date1904`); nothing for text that is neither.
std::optional<double> serialOfIsoDate(std::string_view text, bool date1904 = false);

// A number as General shows it: the shortest decimal form with at most 15
// significant digits, E notation from 10^15 and below 10^-9.
std::string generalNumber(double value);
