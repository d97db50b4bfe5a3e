// HTML tables, as web systems export "Excel" files (导出Excel: a page saved
// as .xls, .xlsx or .htm), read with libxml2's HTML parser: each table of the
// page one table of rows, each cell's text as the page shows it (blanks
// collapsed, <br> a line break, hidden elements left out), rowspan and
// colspan as merges. Where Excel's mso-number-format (the cell's style or
// its class's) changes what a number shows, the number is shown by it
// through the formatter of workbooks. Pages declared in GB2312, GBK or
// GB18030 are turned into UTF-8 here, through the reader's own GB18030
// decoder, so that they read the same whether or not libxml2 has iconv (the
// Windows builds' has none).
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <set>

#include "office/read/gb18030.h"
#include "office/read/numfmt.h"
#include "office/read/table.h"
#include "roster/utf.h"

namespace {

constexpr int MAX_SPAN = 1000;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string property(const xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool named(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && lower(reinterpret_cast<const char*>(node->name)) == name;
}

// A CSS value without its quotes, its escapes resolved: "0\.00" is 0.00,
// \0022 a quote.
std::string cssValue(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
        const auto close = text.find(text.front(), 1);
        text = text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    } else {
        text = text.substr(0, text.find_last_not_of(" \t") + 1);
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        std::size_t digits = 0;
        while (digits < 6 && i + 1 + digits < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1 + digits])))
            ++digits;
        if (digits == 0) {
            out += text[++i];
            continue;
        }
        unsigned code = 0;
        std::from_chars(text.data() + i + 1, text.data() + i + 1 + digits, code, 16);
        i += digits;
        if (i + 1 < text.size() && text[i + 1] == ' ')
            ++i;
        out += toUtf8(std::u16string(1, static_cast<char16_t>(code > 0xFFFF ? 0xFFFD : code)));
    }
    return out;
}

// The value of `name` in CSS declarations ("a:b; mso-number-format:'\@'"),
// or nothing.
std::optional<std::string> declared(std::string_view declarations, std::string_view name)
{
    const std::string all = lower(std::string(declarations));
    for (std::size_t at = all.find(name); at != std::string::npos; at = all.find(name, at + 1)) {
        std::size_t colon = at + name.size();
        while (colon < all.size() && all[colon] == ' ')
            ++colon;
        if ((at > 0 && (std::isalnum(static_cast<unsigned char>(all[at - 1])) || all[at - 1] == '-')) ||
            colon >= all.size() || all[colon] != ':')
            continue;
        std::size_t end = colon + 1;
        for (char quote = 0; end < declarations.size(); ++end) {
            const char c = declarations[end];
            if (quote && c == '\\')
                ++end;
            else if (c == quote)
                quote = 0;
            else if (!quote && (c == '"' || c == '\''))
                quote = c;
            else if (!quote && (c == ';' || c == '}'))
                break;
        }
        return cssValue(declarations.substr(colon + 1, end - colon - 1));
    }
    return std::nullopt;
}

// The page's style sheets: each class's declarations (.xl65 {…}).
std::map<std::string, std::string> classRules(const xmlNode* node, std::map<std::string, std::string> rules = {})
{
    for (; node; node = node->next) {
        if (named(node, "style")) {
            xmlChar* content = xmlNodeGetContent(node);
            const std::string css = content ? reinterpret_cast<const char*>(content) : "";
            xmlFree(content);
            for (std::size_t open = css.find('{'); open != std::string::npos; open = css.find('{', open + 1)) {
                const auto close = css.find('}', open);
                const auto start = css.find_last_of("}/", open) == std::string::npos ? 0 : css.find_last_of("}/", open) + 1;
                const std::string body = css.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
                std::string selectors = css.substr(start, open - start);
                for (std::size_t dot = selectors.find('.'); dot != std::string::npos; dot = selectors.find('.', dot + 1)) {
                    std::size_t end = dot + 1;
                    while (end < selectors.size() &&
                           (std::isalnum(static_cast<unsigned char>(selectors[end])) || selectors[end] == '-' || selectors[end] == '_'))
                        ++end;
                    rules[lower(selectors.substr(dot + 1, end - dot - 1))] += body + ";";
                }
            }
        }
        rules = classRules(node->children, std::move(rules));
    }
    return rules;
}

bool hiddenElement(const xmlNode* node)
{
    const auto display = declared(property(node, "style"), "display");
    return (display && lower(*display) == "none") || xmlHasProp(node, reinterpret_cast<const xmlChar*>("hidden"));
}

// A cell's text as the page shows it: runs of blanks one space, none at the
// ends of a line; <br> and the breaks between blocks line breaks.
void shownText(const xmlNode* node, std::string& text)
{
    static const std::set<std::string> BLOCKS = {"p", "div", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6"};
    for (; node; node = node->next) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            for (const char* c = reinterpret_cast<const char*>(node->content); c && *c; ++c) {
                if (*c == ' ' || *c == '\t' || *c == '\n' || *c == '\r' || *c == '\f') {
                    if (!text.empty() && text.back() != ' ' && text.back() != '\n')
                        text += ' ';
                } else {
                    text += *c;
                }
            }
        } else if (node->type == XML_ELEMENT_NODE && !hiddenElement(node) && !named(node, "script") &&
                   !named(node, "style")) {
            const bool block = BLOCKS.count(lower(reinterpret_cast<const char*>(node->name))) > 0;
            if (named(node, "br") || (block && !text.empty() && text.back() != '\n')) {
                while (!text.empty() && text.back() == ' ')
                    text.pop_back();
                if (named(node, "br") || !text.empty())
                    text += '\n';
            }
            shownText(node->children, text);
        }
    }
}

std::string trimmedLines(std::string text)
{
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        line.erase(0, line.find_first_not_of(' '));
        line.erase(line.find_last_not_of(' ') + 1);
        out += (start ? "\n" : "") + line;
        start = end + 1;
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

int span(const xmlNode* cell, const char* name)
{
    const std::string text = property(cell, name);
    int n = 1;
    std::from_chars(text.data(), text.data() + text.size(), n);
    return std::clamp(n, 1, MAX_SPAN);
}

// The rows of a table, not those of tables inside it.
void rowsOf(const xmlNode* node, std::vector<const xmlNode*>& rows)
{
    for (; node; node = node->next)
        if (named(node, "tr"))
            rows.push_back(node);
        else if (named(node, "thead") || named(node, "tbody") || named(node, "tfoot"))
            rowsOf(node->children, rows);
}

Table tableOf(const xmlNode* element, const std::map<std::string, std::string>& classes, std::size_t number)
{
    Table table;
    table.sheet = "表格" + std::to_string(number);
    table.format = "HTML table (a web page saved as a spreadsheet)";
    std::vector<const xmlNode*> rows;
    rowsOf(element->children, rows);
    std::set<std::pair<int, std::size_t>> taken;  // cells a rowspan from above covers
    int rowNumber = 0;
    for (const xmlNode* tr : rows) {
        TableRow row{++rowNumber, {}, hiddenElement(tr)};
        std::size_t column = 0;
        for (const xmlNode* td = tr->children; td; td = td->next) {
            if (!named(td, "td") && !named(td, "th"))
                continue;
            while (taken.count({rowNumber, column}))
                ++column;
            const int across = span(td, "colspan"), down = span(td, "rowspan");
            if (across > 1 || down > 1)
                table.merges.push_back({rowNumber, rowNumber + down - 1, column, column + static_cast<std::size_t>(across) - 1});
            for (int r = 0; r < down; ++r)
                for (int c = 0; c < across; ++c)
                    taken.insert({rowNumber + r, column + static_cast<std::size_t>(c)});
            std::string text;
            if (!hiddenElement(td))
                shownText(td->children, text);
            Cell cell(column, fromUtf8(trimmedLines(text)).value_or(u"\uFFFD"));
            column += static_cast<std::size_t>(across);
            // Excel's number format, in the cell's style or its class's.
            std::string declarations = property(td, "style");
            if (const auto rule = classes.find(lower(property(td, "class"))); rule != classes.end())
                declarations = rule->second + ";" + declarations;
            const auto code = declared(declarations, "mso-number-format");
            const std::string shown = toUtf8(cell.text);
            double value = 0;
            const auto [end, error] = std::from_chars(shown.data(), shown.data() + shown.size(), value);
            // A text format (@) keeps the text: the page's own digits.
            if (code && code->find('@') == std::string::npos && !shown.empty() && error == std::errc() &&
                end == shown.data() + shown.size()) {
                try {
                    cell.text = fromUtf8(formatNumber(value, *code)).value_or(u"\uFFFD");
                    cell.number = true;
                    cell.formatted = *code != "General";
                } catch (const FormatError& e) {
                    cell.problem = e.what();
                }
            }
            if (cell.text.empty() && cell.problem.empty())
                continue;
            if (cell.column >= MAX_COLUMNS)
                throw columnsExceeded(rowNumber, cell.column);
            row.cells.push_back(std::move(cell));
        }
        taken.erase(taken.begin(), taken.lower_bound({rowNumber + 1, 0}));
        if (!row.cells.empty())
            table.rows.push_back(std::move(row));
    }
    return table;
}

void tablesOf(const xmlNode* node, const std::map<std::string, std::string>& classes, std::vector<Table>& tables)
{
    for (; node; node = node->next) {
        if (named(node, "table"))
            tables.push_back(tableOf(node, classes, tables.size() + 1));
        tablesOf(node->children, classes, tables);  // tables inside tables too
    }
}

// The charset the page declares (<meta charset="gbk">, <meta http-equiv=…
// content="text/html; charset=gb2312">, <?xml … encoding="gbk"?>) in its
// first 4 KiB, lower case, or nothing. A byte order mark decides before
// any declaration, so there is nothing to look for behind one.
std::string declaredCharset(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF" || bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")
        return "";
    const std::string head = lower(std::string(bytes.substr(0, 4096)));
    for (const char* name : {"charset", "encoding"}) {
        const std::string key = name;
        for (std::size_t at = head.find(key); at != std::string::npos; at = head.find(key, at + 1)) {
            std::size_t i = at + key.size();
            while (i < head.size() && (head[i] == ' ' || head[i] == '\t'))
                ++i;
            if (i == head.size() || head[i] != '=')
                continue;
            ++i;
            while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '"' || head[i] == '\''))
                ++i;
            std::size_t end = i;
            while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' ||
                                         head[end] == '_' || head[end] == '.' || head[end] == ':'))
                ++end;
            if (end > i)
                return head.substr(i, end - i);
        }
    }
    return "";
}

bool isGbCharset(const std::string& charset)
{
    static const std::set<std::string> names = {"gb2312", "gbk", "gb18030", "cp936", "ms936", "windows-936",
                                                "x-gbk", "euc-cn", "x-euc-cn", "csgb2312", "gb_2312-80"};
    return names.count(charset) != 0;
}

}  // namespace

bool isHtmlTable(std::string_view bytes)
{
    const auto first = bytes.substr(0, 4096).find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string_view::npos || bytes[first] != '<')
        return false;
    const std::string head = lower(std::string(bytes.substr(0, 1 << 20)));
    return head.find("<table") != std::string::npos &&
           (head.find("<html") != std::string::npos || head.find("<!doctype html") != std::string::npos ||
            head.compare(first, 6, "<table") == 0);
}

std::vector<Table> readHtmlTables(std::string_view bytes, std::string_view sheetName)
{
    if (bytes.size() > (64u << 20))
        throw ImportError(0, "the web page is larger than 64 MiB");
    int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    const char* encoding = nullptr;
    std::string utf8;
    const std::string charset = declaredCharset(bytes);
    if (isGbCharset(charset)) {
        const auto text = fromGb18030(bytes);
        if (!text)
            throw ImportError(0, "the web page declares the charset " + charset +
                                     " but its text is not in it: open it in Excel or WPS and save it as an Excel "
                                     "workbook (.xlsx)");
        utf8 = toUtf8(*text);
        bytes = utf8;
        encoding = "UTF-8";
        options |= HTML_PARSE_IGNORE_ENC;  // the <meta> that still names GB2312
    }
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> page(
        htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding, options), xmlFreeDoc);
    if (!page)
        throw ImportError(0, "the web page cannot be read as HTML: open it in Excel or WPS and save it as an Excel "
                             "workbook (.xlsx)");
    const xmlNode* root = xmlDocGetRootElement(page.get());
    std::vector<Table> tables;
    tablesOf(root, classRules(root), tables);
    if (tables.empty())
        throw ImportError(0, "the web page holds no table");
    return sheetNamed(std::move(tables), sheetName);
}
