// Workbooks (.xlsx) into rows of cells, their parts read through
// office/read/archive.h.
#include <algorithm>
#include <charconv>
#include <cctype>
#include <climits>
#include <cstring>
#include <exception>
#include <functional>
#include <map>

#include "office/read/archive.h"
#include "office/read/numfmt.h"
#include "office/read/table.h"
#include "roster/utf.h"

namespace {

// Columns a roster may use; a cell further right is refused.

[[noreturn]] void broken(const std::string& problem) { brokenFile(problem, ".xlsx in Excel or WPS"); }

std::u16string utf16(const std::string& text) { return fromUtf8(text).value_or(u"\uFFFD"); }

// A string of the workbook: Excel writes characters XML cannot hold (a CR,
// for one) as _xHHHH_, and a literal "_x" as _x005F_x.
std::u16string cellText(const std::string& value)
{
    const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value.compare(i, 2, "_x") == 0 && i + 7 <= value.size() && value[i + 6] == '_' &&
            std::all_of(value.begin() + static_cast<std::ptrdiff_t>(i + 2),
                        value.begin() + static_cast<std::ptrdiff_t>(i + 6), hex)) {
            const unsigned code = static_cast<unsigned>(std::stoul(value.substr(i + 2, 4), nullptr, 16));
            text += toUtf8(std::u16string(1, static_cast<char16_t>(code)));
            i += 6;
        } else {
            text += value[i];
        }
    }
    return utf16(text);
}

// A part named by a relationship of xl/workbook.xml.
std::string partOf(const std::string& target)
{
    return target.starts_with('/') ? target.substr(1) : "xl/" + target;
}

struct Sheet {
    std::string name, part;
    std::string state;  // visible (""), hidden or veryHidden
};

// The worksheets in the workbook's order, and the parts of the shared
// strings and of the styles.
std::vector<Sheet> sheets(Archive& archive, std::string& sharedStrings, std::string& styles)
{
    std::vector<Sheet> named;  // the part's relationship in place of the part, at first
    XmlHandler workbook;
    workbook.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "sheet")
            named.push_back({attribute(attributes, "name"), attribute(attributes, "id", true),
                             attribute(attributes, "state")});
    };
    workbook.end = [](std::string_view) {};
    archive.parse("xl/workbook.xml", workbook);

    std::map<std::string, std::string> targets;
    XmlHandler relationships;
    relationships.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name != "Relationship")
            return;
        const std::string type = attribute(attributes, "Type");
        if (type.ends_with("/sharedStrings"))
            sharedStrings = partOf(attribute(attributes, "Target"));
        else if (type.ends_with("/styles"))
            styles = partOf(attribute(attributes, "Target"));
        else if (type.ends_with("/worksheet"))
            targets[attribute(attributes, "Id")] = partOf(attribute(attributes, "Target"));
    };
    relationships.end = [](std::string_view) {};
    archive.parse("xl/_rels/workbook.xml.rels", relationships);

    std::vector<Sheet> found;
    for (const Sheet& sheet : named)
        if (const auto target = targets.find(sheet.part); target != targets.end())
            found.push_back({sheet.name, target->second, sheet.state});
    if (found.empty())
        broken("it has no worksheet");
    return found;
}

// The text of each shared string: its <t>, or its rich-text runs joined;
// phonetic guides (<rPh>) are no part of it.
std::vector<std::u16string> sharedStrings(Archive& archive, const std::string& part)
{
    std::vector<std::u16string> strings;
    if (part.empty() || !archive.has(part))
        return strings;
    std::string text;
    int phonetic = 0;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char**) {
        if (name == "si")
            text.clear();
        else if (name == "rPh")
            ++phonetic;
        else if (name == "t" && !phonetic)
            handler.text = &text;
    };
    handler.end = [&](std::string_view name) {
        if (name == "t")
            handler.text = nullptr;
        else if (name == "rPh")
            --phonetic;
        else if (name == "si")
            strings.push_back(cellText(text));
    };
    archive.parse(part, handler);
    return strings;
}

// "C7" to column 2 (C); nothing for a reference without letters.
std::optional<std::size_t> columnOf(const std::string& reference)
{
    std::size_t column = 0, i = 0;
    for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i)
        column = std::min<std::size_t>(column * 26 + static_cast<std::size_t>(reference[i] - 'A' + 1), 1u << 20);
    if (i == 0)
        return std::nullopt;
    return column - 1;
}

// "E6" to column 4 (E) and row 6; nothing for a reference that is not a
// cell's.
std::optional<std::pair<std::size_t, int>> cellOf(std::string_view reference)
{
    const auto digits = reference.find_first_of("0123456789");
    const auto column = columnOf(std::string(reference.substr(0, digits)));
    int row = 0;
    if (!column || digits == std::string_view::npos)
        return std::nullopt;
    const auto [end, error] = std::from_chars(reference.data() + digits, reference.data() + reference.size(), row);
    if (error != std::errc() || end != reference.data() + reference.size() || row < 1)
        return std::nullopt;
    return std::pair{*column, row};
}

// The number format of each cell style (a cell's s attribute indexes
// them), and whether dates count from 1904.
struct Styles {
    struct Format {
        int id = 0;
        std::optional<std::string> code;  // nothing for a built-in id whose look depends on Excel's language
    };
    std::vector<Format> formats{Format{0, "General"}};
    bool date1904 = false;
};

Styles styles(Archive& archive, const std::string& part)
{
    Styles styles;
    XmlHandler workbook;
    workbook.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "workbookPr") {
            const std::string flag = attribute(attributes, "date1904");
            styles.date1904 = flag == "1" || flag == "true";
        }
    };
    workbook.end = [](std::string_view) {};
    archive.parse("xl/workbook.xml", workbook);
    if (part.empty() || !archive.has(part))
        return styles;

    std::map<int, std::string> custom;
    std::vector<int> ids;
    bool inCellXfs = false;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char** attributes) {
        const auto id = [&] {
            const std::string text = attribute(attributes, "numFmtId");
            int n = 0;
            std::from_chars(text.data(), text.data() + text.size(), n);
            return n;
        };
        if (name == "numFmt")
            custom[id()] = attribute(attributes, "formatCode");
        else if (name == "cellXfs")
            inCellXfs = true;
        else if (name == "xf" && inCellXfs)
            ids.push_back(id());
    };
    handler.end = [&](std::string_view name) {
        if (name == "cellXfs")
            inCellXfs = false;
    };
    archive.parse(part, handler);
    if (ids.empty())
        return styles;
    styles.formats.clear();
    for (const int id : ids) {
        const auto code = custom.find(id);
        styles.formats.push_back({id, code != custom.end() ? std::optional(code->second) : builtinFormat(id)});
    }
    return styles;
}

// "1" or "true": a hidden row or column.
bool isSet(const std::string& flag) { return flag == "1" || flag == "true"; }

// A cell's value as its format shows it, or why it cannot be shown.
void showValue(Cell& cell, const std::string& type, const std::string& value, bool formula,
               const Styles::Format& format, bool date1904, const std::u16string& text)
{
    const std::string code = format.code.value_or("");
    try {
        if (formula && value.empty() && type != "str") {
            cell.problem = "its formula has no saved result (the program that wrote the workbook never "
                           "calculated it): open the workbook in Excel, WPS or LibreOffice, save it, and pack again";
        } else if (type == "e") {
            showError(cell, value);
        } else if (type == "n" || type == "d" || type.empty()) {
            // A date cell holds an ISO 8601 date, shown as its serial would be.
            double number = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            const auto serial = type == "d" ? serialOfIsoDate(value, date1904) : std::nullopt;
            if (value.empty())
                return;
            cell.number = true;
            cell.text = utf16(value);
            if (type == "d" ? !serial : error != std::errc() || end != value.data() + value.size())
                cell.problem = type == "d" ? "its date \"" + value + "\" is not a date"
                                           : "its number \"" + value + "\" is not a number";
            else
                showNumber(cell, serial.value_or(number), format.id, format.code, date1904);
        } else {
            cell.text = format.code ? utf16(formatText(toUtf8(text), code)) : text;
        }
    } catch (const FormatError& e) {
        cell.problem = e.what();
    }
}

// The rows that the sheet's tables (Insert > Table) mark as their totals.
std::vector<int> totalRows(Archive& archive, const std::string& sheetPart)
{
    const auto slash = sheetPart.rfind('/');
    const std::string folder = sheetPart.substr(0, slash + 1);
    const std::string rels = folder + "_rels/" + sheetPart.substr(slash + 1) + ".rels";
    std::vector<int> rows;
    if (!archive.has(rels))
        return rows;
    std::vector<std::string> parts;
    XmlHandler relationships;
    relationships.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name != "Relationship" || !attribute(attributes, "Type").ends_with("/table"))
            return;
        std::string target = attribute(attributes, "Target"), base = folder;
        if (target.starts_with('/')) {
            parts.push_back(target.substr(1));
            return;
        }
        while (target.starts_with("../") && !base.empty()) {  // ../tables/table1.xml from xl/worksheets/
            target.erase(0, 3);
            base.erase(base.find_last_of('/', base.size() - 2) + 1);
        }
        parts.push_back(base + target);
    };
    relationships.end = [](std::string_view) {};
    archive.parse(rels, relationships);
    for (const std::string& part : parts) {
        if (!archive.has(part))
            continue;
        XmlHandler table;
        table.start = [&](std::string_view name, const XML_Char** attributes) {
            if (name != "table")
                return;
            const std::string ref = attribute(attributes, "ref"), count = attribute(attributes, "totalsRowCount");
            const auto last = cellOf(std::string_view(ref).substr(std::min(ref.find(':') + 1, ref.size())));
            int n = 0;
            std::from_chars(count.data(), count.data() + count.size(), n);
            for (int k = 0; last && k < std::min(n, 16); ++k)
                rows.push_back(last->second - k);
        };
        table.end = [](std::string_view) {};
        archive.parse(part, table);
    }
    return rows;
}

Table cells(Archive& archive, const Sheet& sheet, const std::vector<std::u16string>& strings, const Styles& styles)
{
    Table table;
    table.sheet = sheet.name;
    table.hidden = sheet.state == "hidden" || sheet.state == "veryHidden";
    table.veryHidden = sheet.state == "veryHidden";
    std::string value, type, reference, style;
    bool inInline = false, formula = false;
    int phonetic = 0, rowNumber = 0;
    std::size_t nextColumn = 0;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "row") {
            const std::string r = attribute(attributes, "r");
            int number = 0;
            std::from_chars(r.data(), r.data() + r.size(), number);
            rowNumber = !r.empty() ? number : rowNumber < INT_MAX ? rowNumber + 1 : 0;  // 0: out of order
            if (rowNumber <= (table.rows.empty() ? 0 : table.rows.back().row))
                broken("the rows of sheet \"" + sheet.name + "\" are out of order");
            table.rows.push_back({rowNumber, {}, isSet(attribute(attributes, "hidden"))});
            nextColumn = 0;
        } else if (name == "col" && isSet(attribute(attributes, "hidden"))) {
            const std::string min = attribute(attributes, "min"), max = attribute(attributes, "max");
            std::size_t first = 0, last = 0;
            std::from_chars(min.data(), min.data() + min.size(), first);
            std::from_chars(max.data(), max.data() + max.size(), last);
            for (std::size_t column = first; column >= 1 && column <= std::min(last, MAX_COLUMNS); ++column)
                table.hiddenColumns.push_back(column - 1);
        } else if (name == "c") {
            type = attribute(attributes, "t");
            reference = attribute(attributes, "r");
            style = attribute(attributes, "s");
            value.clear();
            formula = false;
        } else if (name == "f") {
            formula = true;
        } else if (name == "mergeCell") {
            const std::string range = attribute(attributes, "ref");
            const auto colon = range.find(':');
            const auto first = cellOf(std::string_view(range).substr(0, colon));
            const auto last = colon == std::string::npos ? first : cellOf(std::string_view(range).substr(colon + 1));
            if (!first || !last || last->first < first->first || last->second < first->second)
                broken("sheet \"" + sheet.name + "\" merges cells \"" + range + "\", which is not a range");
            table.merges.push_back({first->second, last->second, first->first, last->first});
        } else if (name == "v" && !table.rows.empty()) {
            handler.text = &value;
        } else if (name == "is") {
            inInline = true;
        } else if (name == "rPh") {
            ++phonetic;
        } else if (name == "t" && inInline && !phonetic) {
            handler.text = &value;
        }
    };
    handler.end = [&](std::string_view name) {
        if (name == "v" || name == "t") {
            handler.text = nullptr;
        } else if (name == "is") {
            inInline = false;
        } else if (name == "rPh") {
            --phonetic;
        } else if (name == "c" && !table.rows.empty()) {
            const std::size_t column = columnOf(reference).value_or(nextColumn);
            nextColumn = column + 1;
            std::size_t xf = 0;
            std::from_chars(style.data(), style.data() + style.size(), xf);
            if (xf >= styles.formats.size())
                broken("a cell refers to a style the workbook does not have");
            std::u16string text;
            if (type == "s") {
                std::size_t index = strings.size();
                std::from_chars(value.data(), value.data() + value.size(), index);
                if (index >= strings.size())
                    broken("a cell refers to a shared string the workbook does not have");
                text = strings[index];
            } else if (type == "b") {
                text = value == "1" ? u"TRUE" : u"FALSE";
            } else {  // inlineStr, str (a formula's text)
                text = cellText(value);
            }
            Cell cell{column, {}};
            showValue(cell, type, value, formula, styles.formats[xf], styles.date1904, text);
            if (cell.text.empty() && cell.problem.empty())
                return;
            TableRow& row = table.rows.back();
            if (column >= MAX_COLUMNS)
                throw columnsExceeded(row.row, column);
            if (!row.cells.empty() && column <= row.cells.back().column)
                broken("the cells of row " + std::to_string(row.row) + " are out of order");
            row.cells.push_back(std::move(cell));
        }
    };
    archive.parse(sheet.part, handler);
    for (const int total : totalRows(archive, sheet.part))
        for (TableRow& row : table.rows)
            row.total |= row.row == total;
    table.format = "Excel workbook (.xlsx)";
    return table;
}

}  // namespace

void showNumber(Cell& cell, double number, int formatId, const std::optional<std::string>& code, bool date1904)
{
    cell.number = true;
    if (!code) {
        cell.problem = "its number format is Excel's built-in format " + std::to_string(formatId) +
                       ", whose look depends on the language of Excel; give the column a format such as 0.00";
        return;
    }
    try {
        cell.text = utf16(formatNumber(number, *code, date1904));
        cell.formatted = *code != "General";
    } catch (const FormatError& e) {
        cell.problem = e.what();
    }
}

void showError(Cell& cell, const std::string& shown)
{
    cell.text = utf16(shown);
    cell.problem = "it shows the error " + shown + ": correct the cell or what its formula uses";
}

std::vector<Table> readWorkbook(std::string_view bytes, std::string_view sheetName)
{
    Archive archive(bytes, ".xlsx in Excel or WPS");
    std::string sharedPart, stylesPart;
    const auto all = sheets(archive, sharedPart, stylesPart);
    const auto named = std::find_if(all.begin(), all.end(), [&](const Sheet& s) { return s.name == sheetName; });
    if (!sheetName.empty() && named == all.end()) {
        std::vector<std::string> names;
        for (const auto& s : all)
            names.push_back(s.name);
        noSuchSheet(sheetName, names);
    }
    const auto strings = sharedStrings(archive, sharedPart);
    const auto formats = styles(archive, stylesPart);
    std::vector<Table> tables;
    for (const Sheet& sheet : all)
        if (sheetName.empty() || &sheet == &*named)
            tables.push_back(cells(archive, sheet, strings, formats));
    return tables;
}
