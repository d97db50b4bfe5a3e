// Excel 2003 XML (SpreadsheetML, "XML Spreadsheet 2003"): one XML document
// of worksheets, read with expat. A cell's number is shown by its style's
// number format, through the formatter of workbooks (.xlsx); Excel's named
// formats (Fixed, Short Date, …) as Chinese Excel shows them.
#include <algorithm>
#include <charconv>
#include <map>

#include "office/read/archive.h"
#include "office/read/numfmt.h"
#include "office/read/table.h"
#include "roster/utf.h"

namespace {

constexpr std::string_view NAMESPACE = "urn:schemas-microsoft-com:office:spreadsheet";
constexpr int MAX_ROWS = 1 << 20;          // Excel's

[[noreturn]] void broken(const std::string& problem) { brokenFile(problem, ".xlsx in Excel or WPS"); }

std::u16string utf16(const std::string& text) { return fromUtf8(text).value_or(u"\uFFFD"); }

// A named format's code; other names are codes already.
std::string codeOf(const std::string& format)
{
    static const std::map<std::string, std::string> NAMED = {
        {"General", "General"},          {"General Number", "General"},  {"Fixed", "0.00"},
        {"Standard", "#,##0.00"},        {"Percent", "0.00%"},           {"Scientific", "0.00E+00"},
        {"General Date", "yyyy/m/d h:mm"}, {"Short Date", "yyyy/m/d"},   {"Medium Date", "d-mmm-yy"},
        {"Long Date", "yyyy\"年\"m\"月\"d\"日\""}, {"Short Time", "h:mm"}, {"Medium Time", "h:mm AM/PM"},
        {"Long Time", "h:mm:ss"}};
    const auto named = NAMED.find(format);
    return named != NAMED.end() ? named->second : format.empty() ? "General" : format;
}

// A positive count in an attribute (ss:Index, ss:MergeDown), or `fallback`.
int count(const XML_Char** attributes, std::string_view name, int fallback)
{
    const std::string text = attribute(attributes, name, true);
    int n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty())
        return fallback;
    if (error != std::errc() || end != text.data() + text.size() || n < 0 || n > MAX_ROWS)
        broken("its attribute ss:" + std::string(name) + "=\"" + text + "\" is not a row or column count");
    return n;
}

}  // namespace

bool isSpreadsheetMl(std::string_view bytes)
{
    const std::string_view head = bytes.substr(0, 4096);
    const auto first = head.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return first != std::string_view::npos && head[first] == '<' && head.find(NAMESPACE) != std::string_view::npos &&
           head.find("Workbook") != std::string_view::npos;
}

std::vector<Table> readSpreadsheetMl(std::string_view bytes, std::string_view sheetName)
{
    std::map<std::string, std::string> formats;  // style id → format code
    std::vector<Table> tables;
    std::string style, value, type, cellStyle, visible;
    int rowNumber = 0, comment = 0;
    std::size_t column = 0, cellColumn = 0;  // the next cell's column, by default; this one's
    bool inVisible = false;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char** a) {
        if (comment || (name == "Comment" && ++comment)) {
            return;
        } else if (name == "Style") {
            style = attribute(a, "ID", true);
        } else if (name == "NumberFormat") {
            formats[style] = codeOf(attribute(a, "Format", true));
        } else if (name == "Worksheet") {
            tables.emplace_back();
            tables.back().sheet = attribute(a, "Name", true);
            tables.back().format = "Excel 2003 XML (SpreadsheetML)";
            rowNumber = 0;
        } else if (tables.empty()) {
        } else if (name == "Row") {
            const int number = count(a, "Index", rowNumber + 1);
            if (number <= rowNumber || number > MAX_ROWS)
                broken("the rows of sheet \"" + tables.back().sheet + "\" are out of order");
            rowNumber = number;
            const std::string hidden = attribute(a, "Hidden", true);
            tables.back().rows.push_back({rowNumber, {}, hidden == "1" || hidden == "true"});
            column = 0;
        } else if (name == "Cell" && rowNumber) {
            const int index = count(a, "Index", static_cast<int>(column) + 1);
            if (index < static_cast<int>(column) + 1)
                broken("the cells of row " + std::to_string(rowNumber) + " are out of order");
            const int across = count(a, "MergeAcross", 0), down = count(a, "MergeDown", 0);
            cellColumn = static_cast<std::size_t>(index - 1);
            column = cellColumn + static_cast<std::size_t>(across) + 1;
            if (across || down)
                tables.back().merges.push_back({rowNumber, std::min(rowNumber + down, MAX_ROWS), cellColumn,
                                                column - 1});
            cellStyle = attribute(a, "StyleID", true);
            type.clear();
            value.clear();
        } else if (name == "Data" && rowNumber) {
            type = attribute(a, "Type", true);
            handler.text = &value;
        } else if (name == "Visible") {
            inVisible = true;
            visible.clear();
            handler.text = &visible;
        }
    };
    handler.end = [&](std::string_view name) {
        if (comment) {
            comment -= name == "Comment";
            return;
        }
        if (name == "Data") {
            handler.text = nullptr;
        } else if (name == "Visible" && inVisible) {
            inVisible = false;
            handler.text = nullptr;
            tables.back().hidden = visible == "SheetHidden" || visible == "SheetVeryHidden";
            tables.back().veryHidden = visible == "SheetVeryHidden";
        } else if (name == "Cell" && rowNumber) {
            Cell cell(cellColumn, {});
            const auto format = formats.find(cellStyle);
            const std::string code = format != formats.end() ? format->second : "General";
            try {
                if (type == "Number" || type == "DateTime") {
                    double number = 0;
                    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
                    const auto serial = type == "DateTime" ? serialOfIsoDate(value) : std::nullopt;
                    cell.text = utf16(value);
                    if (type == "DateTime" ? !serial : error != std::errc() || end != value.data() + value.size())
                        cell.problem = "its value \"" + value + "\" is not a " +
                                       (type == "DateTime" ? "date" : "number");
                    else
                        showNumber(cell, serial.value_or(number), 0, code, false);
                } else if (type == "Boolean") {
                    cell.text = value == "1" ? u"TRUE" : u"FALSE";
                } else if (type == "Error") {
                    showError(cell, value);
                } else {
                    cell.text = utf16(formatText(value, code));
                }
            } catch (const FormatError& e) {
                cell.problem = e.what();
            }
            if (cell.text.empty() && cell.problem.empty())
                return;
            if (cell.column >= MAX_COLUMNS)
                throw columnsExceeded(rowNumber, cell.column);
            tables.back().rows.back().cells.push_back(std::move(cell));
        }
    };
    if (const std::string problem = parseXml(bytes, handler); !problem.empty())
        broken(problem);
    if (tables.empty())
        broken("it has no worksheet");
    for (auto& table : tables)
        table.rows.erase(std::remove_if(table.rows.begin(), table.rows.end(),
                                        [](const TableRow& row) { return row.cells.empty(); }),
                         table.rows.end());
    return sheetNamed(std::move(tables), sheetName);
}
