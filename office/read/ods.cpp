// OpenDocument spreadsheets (.ods, as LibreOffice and WPS write them) into
// rows of cells: content.xml's tables, with repeated rows and columns,
// covered (merged) cells, and a cell's paragraphs, line breaks, blanks and
// tabs. A number is shown by its number style (styles.xml and the automatic
// styles), which is turned into the format code office/read/numfmt.h shows, so
// the text is the one LibreOffice shows.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "office/read/archive.h"
#include "office/read/numfmt.h"
#include "office/read/table.h"
#include "roster/utf.h"

namespace {

// Rows repeated with content may be copied up to this many cells in all.
constexpr std::size_t MAX_CELLS = 4u << 20;
// The most rows an OpenDocument sheet has.
constexpr long long MAX_ROWS = 1 << 24;

const std::string SAVE_AS = ".ods in LibreOffice or WPS, or as .xlsx";

[[noreturn]] void broken(const std::string& problem) { brokenFile(problem, SAVE_AS); }

std::u16string utf16(const std::string& text) { return fromUtf8(text).value_or(u"\uFFFD"); }

long long number(const std::string& text, long long fallback)
{
    long long n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size() ? n : fallback;
}

// A literal for a format code: in quotes, a quote escaped.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\"\\\"\"") : std::string(1, c);
    return out + "\"";
}

// A number style, built into a format code as its elements come.
struct NumberStyle {
    std::string code;
    std::vector<std::pair<std::string, std::string>> maps;  // condition ("value()>=0"), style applied
    std::string problem;                                    // what no format code can say, or ""
    bool percentage = false, elapsed = false;
};

struct CellStyle {
    std::string data, parent;
};

// The number and cell styles of styles.xml and content.xml: the handler
// reads them wherever they stand.
class Styles {
public:
    void start(std::string_view name, const XML_Char** a, XmlHandler& handler)
    {
        const auto has = [&](const char* n) { return !attributeNamed(a, n).empty(); };
        const auto is = [&](const char* n, const char* v) { return attributeNamed(a, n) == v; };
        const bool isLong = is("number:style", "long");
        // A count attribute, within bounds a format code can hold.
        const auto count = [&](const char* n, long long fallback, long long least, long long most) {
            return static_cast<std::size_t>(std::clamp(number(attributeNamed(a, n), fallback), least, most));
        };
        if (has("style:name") && (name == "number-style" || name == "percentage-style" || name == "currency-style" ||
             name == "date-style" || name == "time-style" || name == "text-style" || name == "boolean-style")) {
            style_ = &numbers_[attributeNamed(a, "style:name")];
            *style_ = {};
            style_->percentage = name == "percentage-style";
            style_->elapsed = is("number:truncate-on-overflow", "false");
            if (name == "boolean-style")
                style_->problem = "a yes/no format";
        } else if (name == "style" && is("style:family", "table-cell")) {
            cells_[attributeNamed(a, "style:name")] = {attributeNamed(a, "style:data-style-name"),
                                                       attributeNamed(a, "style:parent-style-name")};
        } else if (name == "style") {
            tableStyle_ = is("style:family", "table") ? attributeNamed(a, "style:name") : "";
        } else if (name == "table-properties" && is("table:display", "false")) {
            hiddenTables_.push_back(tableStyle_);
        } else if (!style_) {
            return;
        } else if (name == "number") {
            if (!has("number:decimal-places")) {  // LibreOffice's standard format
                whole_ = "General", rest_.clear();
                return;
            }
            const std::size_t places = count("number:decimal-places", 0, 0, 30);
            const std::size_t least = std::min(places, count("number:min-decimal-places", static_cast<long long>(places), 0, 30));
            std::string whole(count("number:min-integer-digits", 0, 0, 30), '0');
            if (whole.empty())
                whole = "#";
            if (is("number:grouping", "true")) {
                if (whole.size() < 4)
                    whole.insert(0, 4 - whole.size(), '#');
                whole.insert(whole.size() - 3, ",");
            }
            whole_ = whole;
            // LibreOffice writes the optional decimals of 0.0# and 0.0? as a
            // decimal replacement of "" and " ".
            const char optional = is("number:decimal-replacement", " ") ? '?' : '#';
            rest_.clear();
            if (places > 0)
                rest_ = "." + std::string(least, '0') + std::string(places - least, optional);
            const std::string factor = attributeNamed(a, "number:display-factor");
            if (factor == "1000" || factor == "1000000")
                rest_ += factor == "1000" ? "," : ",,";
            else if (!factor.empty() && factor != "1")
                style_->problem = "a display factor of " + factor;
        } else if (name == "embedded-text") {  // text among the whole digits: 000-0000
            position_ = count("number:position", 0, 0, 30);
            literal_.clear();
            handler.text = &literal_;
        } else if (name == "scientific-number") {
            // An exponent interval of 3 is engineering notation: ##0.0E+0.
            const std::size_t places = count("number:decimal-places", 0, 0, 30);
            const std::size_t least = count("number:min-integer-digits", 1, 1, 30);
            const std::size_t interval = count("number:exponent-interval", 1, 1, 30);
            style_->code += std::string(interval > least ? interval - least : 0, '#') + std::string(least, '0');
            if (places > 0)
                style_->code += "." + std::string(places, '0');
            style_->code += (is("number:forced-exponent-sign", "false") ? "E-" : "E+") +
                            std::string(count("number:min-exponent-digits", 2, 1, 5), '0');
        } else if (name == "text" || name == "currency-symbol") {
            literal_.clear();
            handler.text = &literal_;
        } else if (name == "text-content") {
            style_->code += "@";
        } else if (name == "year") {
            style_->code += isLong ? "yyyy" : "yy";
        } else if (name == "month") {
            style_->code += is("number:textual", "true") ? (isLong ? "mmmm" : "mmm") : (isLong ? "mm" : "m");
        } else if (name == "day") {
            style_->code += isLong ? "dd" : "d";
        } else if (name == "day-of-week") {
            style_->code += isLong ? "dddd" : "ddd";
        } else if (name == "hours") {
            style_->code += style_->elapsed ? (isLong ? "[hh]" : "[h]") : (isLong ? "hh" : "h");
        } else if (name == "minutes") {
            style_->code += isLong ? "mm" : "m";
        } else if (name == "seconds") {
            style_->code += isLong ? "ss" : "s";
            if (const std::size_t places = count("number:decimal-places", 0, 0, 3); places > 0)
                style_->code += "." + std::string(places, '0');
        } else if (name == "am-pm") {
            style_->code += "AM/PM";
        } else if (name == "map") {
            style_->maps.emplace_back(attributeNamed(a, "style:condition"), attributeNamed(a, "style:apply-style-name"));
        } else if (name == "fraction" || name == "era" || name == "quarter" || name == "week-of-year" ||
                   name == "boolean") {
            style_->problem = "number:" + std::string(name);
        }
    }

    void end(std::string_view name, XmlHandler& handler)
    {
        if (!style_)
            return;
        if (name == "embedded-text") {
            handler.text = nullptr;
            // `position_` whole digits stand right of it.
            std::size_t at = whole_.size();
            for (std::size_t digits = 0; at > 0 && digits < position_; --at)
                digits += whole_[at - 1] == '0' || whole_[at - 1] == '#';
            whole_.insert(at, quoted(literal_));
        } else if (name == "number") {
            style_->code += whole_ + rest_;
        } else if (name == "text" || name == "currency-symbol") {
            handler.text = nullptr;
            if (name == "currency-symbol" && literal_.empty())
                style_->problem = "the currency symbol of the language";
            // In a percentage style the % scales the number as it does in a code.
            const auto percent = literal_.find('%');
            if (style_->percentage && percent != std::string::npos)
                style_->code += (percent ? quoted(literal_.substr(0, percent)) : "") + "%" +
                                (percent + 1 < literal_.size() ? quoted(literal_.substr(percent + 1)) : "");
            else if (!literal_.empty())
                style_->code += quoted(literal_);
        } else if (name.ends_with("-style")) {
            style_ = nullptr;
        }
    }

    bool hidesTable(const std::string& style) const
    {
        return !style.empty() && std::find(hiddenTables_.begin(), hiddenTables_.end(), style) != hiddenTables_.end();
    }

    // The format code for a cell's style; "General" where it has no number
    // style. Throws a FormatError for a style no code can say.
    std::string codeFor(const std::string& cellStyle) const
    {
        std::string name = cellStyle;
        for (int depth = 0; depth < 8 && !name.empty(); ++depth) {
            const auto cell = cells_.find(name);
            if (cell == cells_.end())
                break;
            if (!cell->second.data.empty())
                return code(cell->second.data, 0);
            name = cell->second.parent;
        }
        return "General";
    }

private:
    std::string code(const std::string& name, int depth) const
    {
        const auto found = numbers_.find(name);
        if (found == numbers_.end() || depth > 2)
            return "General";
        const NumberStyle& style = found->second;
        if (!style.problem.empty())
            throw FormatError("the cell's number style \"" + name + "\" uses " + style.problem +
                              ", which the reader does not show; give the column a format such as 0.00 or text");
        std::string sections;
        for (const auto& [condition, applied] : style.maps) {
            std::string test = condition.starts_with("value()") ? condition.substr(7) : condition;
            if (test.starts_with("!="))
                test = "<>" + test.substr(2);
            sections += "[" + test + "]" + code(applied, depth + 1) + ";";
        }
        return sections + (style.code.empty() ? "General" : style.code);
    }

    std::map<std::string, NumberStyle> numbers_;
    std::map<std::string, CellStyle> cells_;
    std::vector<std::string> hiddenTables_;  // table styles that hide their sheet
    NumberStyle* style_ = nullptr;
    std::string literal_, tableStyle_;
    std::string whole_, rest_;  // a number's digits before and from the point, while its element is open
    std::size_t position_ = 0;
};

// "PT18H30M00S" (or "P1DT2H"): the duration in days.
std::optional<double> serialOfTime(const std::string& text)
{
    if (!text.starts_with("P"))
        return std::nullopt;
    double days = 0, amount = 0;
    std::string digits;
    bool time = false;
    for (const char c : text.substr(1)) {
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            digits += c;
            continue;
        }
        amount = digits.empty() ? 0 : std::strtod(digits.c_str(), nullptr);
        digits.clear();
        if (c == 'T')
            time = true;
        else if (c == 'D' && !time)
            days += amount;
        else if (c == 'H' && time)
            days += amount / 24;
        else if (c == 'M' && time)
            days += amount / 1440;
        else if (c == 'S' && time)
            days += amount / 86400;
        else
            return std::nullopt;
    }
    return days;
}

// A hidden row or column: collapsed, or filtered out.
bool hidden(const XML_Char** a)
{
    const std::string visibility = attributeNamed(a, "table:visibility");
    return visibility == "collapse" || visibility == "filter";
}

// Every table of content.xml, in order.
std::vector<Table> tables(Archive& archive)
{
    Styles styles;
    XmlHandler styleHandler;
    styleHandler.start = [&](std::string_view name, const XML_Char** a) { styles.start(name, a, styleHandler); };
    styleHandler.end = [&](std::string_view name) { styles.end(name, styleHandler); };
    if (archive.has("styles.xml"))
        archive.parse("styles.xml", styleHandler);

    std::vector<Table> found;
    std::vector<std::string> columnStyles;  // default cell style by column
    long long rowNumber = 0, rowRepeat = 1;
    bool rowHidden = false;
    std::size_t column = 0, cellsMade = 0;
    std::vector<Cell> rowCells;
    // The cell being read.
    std::map<std::string, std::string> cell;
    std::string text, run;
    int paragraphs = 0, annotation = 0;
    // A paragraph's characters as ODF lays them out: a run of blanks, tabs
    // and line ends is one blank; <text:s/>, <text:tab/> and
    // <text:line-break/> stand for more.
    const auto flush = [&] {
        bool blank = false;
        for (const char c : run) {
            const bool white = c == ' ' || c == '\t' || c == '\r' || c == '\n';
            if (!white)
                text += c;
            else if (!blank)
                text += ' ';
            blank = white;
        }
        run.clear();
    };
    bool inCell = false;
    XmlHandler handler;
    handler.start = [&](std::string_view name, const XML_Char** a) {
        flush();
        if (name == "table") {
            found.emplace_back();
            found.back().sheet = attributeNamed(a, "table:name");
            found.back().hidden = styles.hidesTable(attributeNamed(a, "table:style-name"));
            found.back().format = "OpenDocument spreadsheet (.ods)";
            columnStyles.clear();
            rowNumber = 0;
        } else if (name == "table-column") {
            const auto repeat = std::clamp(number(attributeNamed(a, "table:number-columns-repeated"), 1), 1LL,
                                           static_cast<long long>(MAX_COLUMNS));
            const std::string style = attributeNamed(a, "table:default-cell-style-name");
            for (long long i = 0; i < repeat && columnStyles.size() < MAX_COLUMNS; ++i) {
                if (hidden(a))
                    found.back().hiddenColumns.push_back(columnStyles.size());
                columnStyles.push_back(style);
            }
        } else if (found.empty()) {
            styles.start(name, a, handler);  // the automatic styles, before the tables
        } else if (name == "table-row") {
            rowRepeat = std::clamp(number(attributeNamed(a, "table:number-rows-repeated"), 1), 1LL, MAX_ROWS);
            rowHidden = hidden(a);
            column = 0;
            rowCells.clear();
        } else if (name == "table-cell" || name == "covered-table-cell") {
            inCell = true;
            cell.clear();
            for (const XML_Char** at = a; *at; at += 2)
                cell[at[0]] = at[1];
            cell["covered"] = name == "covered-table-cell" ? "1" : "";
            text.clear();
            paragraphs = 0;
        } else if (!inCell) {
        } else if (name == "annotation") {
            ++annotation;
        } else if (annotation) {
        } else if (name == "p" || name == "h") {
            if (paragraphs++)
                text += '\n';
            handler.text = &run;
        } else if (name == "line-break") {
            text += '\n';
        } else if (name == "tab") {
            text += '\t';
        } else if (name == "s") {
            text += std::string(static_cast<std::size_t>(std::clamp(number(attributeNamed(a, "text:c"), 1), 1LL, 1000LL)),
                                ' ');
        }
    };
    handler.end = [&](std::string_view name) {
        flush();
        if (found.empty()) {
            styles.end(name, handler);
        } else if (name == "annotation") {
            --annotation;
        } else if (name == "p" || name == "h") {
            handler.text = nullptr;
        } else if (name == "table-cell" || name == "covered-table-cell") {
            inCell = false;
            handler.text = nullptr;
            const auto repeat = std::clamp(number(cell["table:number-columns-repeated"], 1), 1LL, 1LL << 20);
            const std::size_t first = column;
            column = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(column) + repeat, 1 << 20));
            const auto rows = std::clamp(number(cell["table:number-rows-spanned"], 1), 1LL, MAX_ROWS);
            const auto columns = std::clamp(number(cell["table:number-columns-spanned"], 1), 1LL,
                                            static_cast<long long>(MAX_COLUMNS));
            if ((rows > 1 || columns > 1) && cell["covered"].empty())
                found.back().merges.push_back({static_cast<int>(std::min(rowNumber + 1, MAX_ROWS)),
                                               static_cast<int>(std::min(rowNumber + rows, MAX_ROWS)), first,
                                               first + static_cast<std::size_t>(columns) - 1});
            Cell made(first, {});
            const std::string type = cell["office:value-type"];
            std::string style = cell["table:style-name"];
            if (style.empty() && first < columnStyles.size())
                style = columnStyles[first];
            try {
                if (cell["calcext:value-type"] == "error") {
                    made.text = utf16(text);
                    made.problem = "it shows the error " + text + ": correct the cell or what its formula uses";
                } else if (!cell["table:formula"].empty() && type.empty()) {
                    made.problem = "its formula has no saved result (the program that wrote the file never "
                                   "calculated it): open it in LibreOffice, WPS or Excel, save it, and pack again";
                } else if (type == "float" || type == "percentage" || type == "currency" || type == "date" ||
                           type == "time") {
                    const std::string raw = type == "date" ? cell["office:date-value"]
                                          : type == "time" ? cell["office:time-value"] : cell["office:value"];
                    const auto value = type == "date" ? serialOfIsoDate(raw)
                                     : type == "time" ? serialOfTime(raw)
                                                      : std::optional<double>(std::strtod(raw.c_str(), nullptr));
                    const std::string code = styles.codeFor(style);
                    made.number = true;
                    made.text = utf16(text);
                    if (!value)
                        made.problem = "its value \"" + raw + "\" is not a " + type;
                    else
                        made.text = utf16(formatNumber(*value, code)), made.formatted = code != "General";
                } else if (type == "boolean") {
                    made.text = cell["office:boolean-value"] == "true" ? u"TRUE" : u"FALSE";
                } else {
                    const auto stringValue = cell.find("office:string-value");
                    made.text = utf16(stringValue != cell.end() ? stringValue->second : text);
                }
            } catch (const FormatError& error) {
                made.problem = error.what();
            }
            if (cell["covered"].empty() && (!made.text.empty() || !made.problem.empty())) {
                if (first + static_cast<std::size_t>(std::min<long long>(repeat, MAX_COLUMNS)) > MAX_COLUMNS)
                    throw columnsExceeded(static_cast<int>(std::min(rowNumber + 1, MAX_ROWS)),
                                          std::min(column, MAX_COLUMNS + 1) - 1);
                for (long long i = 0; i < repeat; ++i) {
                    made.column = first + static_cast<std::size_t>(i);
                    rowCells.push_back(made);
                }
            }
        } else if (name == "table-row") {
            if (!rowCells.empty()) {
                cellsMade += rowCells.size() * static_cast<std::size_t>(rowRepeat);
                if (rowNumber + rowRepeat > MAX_ROWS || cellsMade > MAX_CELLS)
                    broken("its table \"" + found.back().sheet + "\" repeats more cells than a roster holds");
                for (long long i = 1; i <= rowRepeat; ++i)
                    found.back().rows.push_back({static_cast<int>(rowNumber + i), rowCells, rowHidden});
            }
            rowNumber = std::min(rowNumber + rowRepeat, MAX_ROWS);
            rowCells.clear();
        }
    };
    archive.parse("content.xml", handler);
    if (found.empty())
        broken("it has no table");
    return found;
}

}  // namespace

bool isOpenDocument(std::string_view bytes)
{
    if (!isZip(bytes))
        return false;
    try {
        Archive archive(bytes, SAVE_AS);
        return archive.has("content.xml") && !archive.has("xl/workbook.xml");
    } catch (const ImportError&) {
        return false;  // refused as a workbook
    }
}

std::vector<Table> readOds(std::string_view bytes, std::string_view sheetName)
{
    Archive archive(bytes, SAVE_AS);
    return sheetNamed(tables(archive), sheetName);
}
