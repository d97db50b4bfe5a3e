// Rows of cells into records: the header found and its columns mapped, keys
// normalized where the meaning is certain, every record checked, every
// problem collected before the file is refused.
#include "office/read/read.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "office/read/table.h"
#include "roster/utf.h"

namespace {

enum Field { ZHUN, SHEN, XING, CHENGJI, BEIZHU };

// The header names of each field: ours, the Chinese one, and the variants
// offices use (constant, so that readers during static initialization see them).
constexpr std::u16string_view HEADER_NAMES[5][5] = {
    {u"zhun", u"准考证号", u"准考证", u"准考证号码"},
    {u"shen", u"身份证号", u"身份证号码", u"身份证", u"公民身份号码"},
    {u"xing", u"姓名"},
    {u"chengji", u"成绩", u"笔试成绩"},
    {u"beizhu", u"备注"},
};

// The header may lie below titles and notes, within these first rows.
constexpr int HEADER_SEARCH_ROWS = 10;

// Characters that show as nothing or as white space.
bool isBlank(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool allDigits(std::u16string_view text) { return std::all_of(text.begin(), text.end(), isDigit); }

std::u16string_view trimmed(std::u16string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string codePoint(char32_t c)
{
    char buffer[12];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}


// The check character of an 18-character identity number (ISO 7064 MOD 11-2
// over the first 17 digits), or 0 when the first 17 are not all digits.
char16_t checkCharacter(std::u16string_view number)
{
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    if (number.size() != 18 || !allDigits(number.substr(0, 17)))
        return 0;
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += (number[i] - u'0') * weights[i];
    return u"10X98765432"[sum % 11];
}

// Excel's scientific notation, e.g. 5.11902E+17.
bool scientific(std::u16string_view text)
{
    std::size_t i = 0;
    const auto digits = [&] {
        const auto start = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        return i > start;
    };
    if (!digits())
        return false;
    if (i < text.size() && text[i] == u'.' && (++i, !digits()))
        return false;
    if (i == text.size() || (text[i] != u'E' && text[i] != u'e'))
        return false;
    if (++i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    return digits() && i == text.size();
}

// Digits and letters, Unicode's blocks of CJK compatibility: U+FF10 to
// U+FF5A less the punctuation between.
bool isFullWidthAlphanumeric(char16_t c)
{
    return (c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A);
}

// The code point at text[i], a surrogate pair taken whole.
char32_t codePointAt(std::u16string_view text, std::size_t i)
{
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
        return 0x10000 + ((text[i] - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    return text[i];
}

// CJK Unified Ideographs, Extension A, Extensions B to F and the
// compatibility supplement (beyond the Basic Plane), and the middle dot of
// minority names.
bool isNameCharacter(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x2FA1F) ||
           c == 0x00B7;
}

// What the report says of a key: the ticket number in full (it is printed on
// the admission ticket), an identity number masked.
std::string shown(std::u16string_view key, bool identity)
{
    return identity ? visible(fromUtf8(maskIdentity(key)).value_or(u"")) : visible(key);
}

// A header name as matched: blanks, full-width blanks and line breaks inside
// removed (准考⏎证号, 姓 名).
std::u16string headerName(std::u16string_view text)
{
    std::u16string name;
    for (const char16_t c : text)
        if (!isBlank(c))
            name += c;
    return name;
}

std::optional<Field> fieldNamed(std::u16string_view text)
{
    const std::u16string name = headerName(text);
    for (int f = 0; f < 5; ++f)
        if (!name.empty() && std::find(std::begin(HEADER_NAMES[f]), std::end(HEADER_NAMES[f]), name) != std::end(HEADER_NAMES[f]))
            return static_cast<Field>(f);
    return std::nullopt;
}

// A column that could be the score: its name holds 成绩.
bool scoreLike(std::u16string_view name)
{
    return fieldNamed(name) == CHENGJI || headerName(name).find(u"成绩") != std::u16string::npos;
}

// Ticket and identity numbers are runs of digits: a row without six in a
// row holds neither.
bool holdsLongNumber(const TableRow& row)
{
    for (const Cell& cell : row.cells) {
        int run = 0;
        for (const char16_t c : cell.text)
            if ((run = isDigit(c) || (c >= 0xFF10 && c <= 0xFF19) ? run + 1 : 0) >= 6)
                return true;
    }
    return false;
}

const Cell* cellAt(const TableRow& row, std::size_t column)
{
    for (const Cell& cell : row.cells)
        if (cell.column == column)
            return &cell;
    return nullptr;
}

std::size_t filledCells(const TableRow& row)
{
    return static_cast<std::size_t>(
        std::count_if(row.cells.begin(), row.cells.end(), [](const Cell& c) { return !trimmed(c.text).empty(); }));
}

using Row = std::vector<TableRow>::const_iterator;

// The first row within the first rows that names the ticket and the
// identity column.
Row headerOf(const Table& table)
{
    for (auto row = table.rows.cbegin(); row != table.rows.cend() && row->row <= HEADER_SEARCH_ROWS; ++row) {
        bool ticket = false, identity = false;
        for (const Cell& cell : row->cells) {
            ticket |= fieldNamed(cell.text) == ZHUN;
            identity |= fieldNamed(cell.text) == SHEN;
        }
        if (ticket && identity)
            return row;
    }
    return table.rows.cend();
}

void noteOnce(std::vector<std::string>& list, const std::string& what)
{
    if (std::find(list.begin(), list.end(), what) == list.end())
        list.push_back(what);
}

void sortByRow(std::vector<RosterProblem>& problems, std::size_t from)
{
    std::stable_sort(problems.begin() + static_cast<std::ptrdiff_t>(from), problems.end(),
                     [](const RosterProblem& a, const RosterProblem& b) { return a.row < b.row; });
}

// What reading the roster finds: the file as read, every problem, and the
// sheet being read, which problems and warnings name where the workbook has
// several.
struct Report {
    explicit Report(const Table& first)
    {
        file.format = first.format;
        file.encodingNote = first.encodingNote;
    }

    RosterFile file;
    std::vector<RosterProblem> problems;
    std::string sheet;

    Place here(int row) const { return {sheet, row}; }

    void error(int row, std::string message) { problems.push_back({row, std::move(message), sheet}); }

    void warn(WarningKind kind, int row, std::string message)
    {
        file.warnings.push_back({kind, row, std::move(message), sheet});
    }

    void changed(const std::string& what, int row)
    {
        auto change = std::find_if(file.changes.begin(), file.changes.end(),
                                   [&](const RosterChange& c) { return c.what == what; });
        if (change == file.changes.end())
            change = file.changes.insert(file.changes.end(), RosterChange{what, 0, {}});
        if (change->count++ < RosterChange::SHOWN)
            change->firstRows.push_back(here(row));
    }
};

// A column of the header: its name, and the group above it where the header
// has two rows (成绩 over 笔试 and 面试).
struct HeaderColumn {
    std::size_t column;
    std::u16string name, group;
    std::string shown() const
    {
        return visible(name.empty() ? group : name) + " (" + columnName(column) +
               (!name.empty() && !group.empty() ? ", under " + visible(group) : "") + ")";
    }
};

// The header's columns, over one row or two: a second row right below,
// empty under the ticket and identity columns, holds the names of the
// columns below a group (成绩 over 笔试, 面试). A group row right above the
// header, of two cells or more, does the same from above. Returns them and
// the first row after the header.
std::pair<std::vector<HeaderColumn>, Row> headerColumns(const Table& table, Row header)
{
    const auto cellsOf = [](const TableRow& row) {
        std::map<std::size_t, std::u16string> cells;
        for (const Cell& cell : row.cells)
            if (!trimmed(cell.text).empty())
                cells[cell.column] = cell.text;
        return cells;
    };
    std::map<std::size_t, std::u16string> names = cellsOf(*header), groups;
    Row next = header + 1;
    std::size_t ticket = 0, identity = 0;
    for (const auto& [column, text] : names) {
        if (fieldNamed(text) == ZHUN)
            ticket = column;
        if (fieldNamed(text) == SHEN)
            identity = column;
    }
    if (next != table.rows.end() && next->row == header->row + 1 && !cellAt(*next, ticket) &&
        !cellAt(*next, identity) && filledCells(*next) && !holdsLongNumber(*next)) {
        groups = std::move(names);
        names = cellsOf(*next);
        ++next;
    } else if (header != table.rows.begin() && (header - 1)->row == header->row - 1 &&
               filledCells(*(header - 1)) >= 2) {
        groups = cellsOf(*(header - 1));
    }
    // Each column: its own name, or the cell above a merged one; a group
    // reaches from its cell to the next.
    std::set<std::size_t> all;
    for (const auto& cells : {&names, &groups})
        for (const auto& [column, text] : *cells)
            all.insert(column);
    std::vector<HeaderColumn> columns;
    for (const std::size_t column : all) {
        const auto after = groups.upper_bound(column);
        const auto group = after == groups.begin() ? groups.end() : std::prev(after);
        HeaderColumn c{column, names.count(column) ? names[column] : u"", group == groups.end() ? u"" : group->second};
        if (c.name.empty() && group != groups.end() && group->first == column)
            std::swap(c.name, c.group);  // a name merged over both rows
        columns.push_back(std::move(c));
    }
    return {std::move(columns), next};
}

// Where a sheet's five fields are.
struct Layout {
    std::array<std::optional<std::size_t>, 5> columns;  // by field; none where the header has none
    std::size_t headerCells = 0;                        // the cells of the header row
    std::set<std::size_t> named;                        // the columns with a header
    Row first;                                          // the row after the header

    bool holds(std::size_t column) const { return std::find(columns.begin(), columns.end(), column) != columns.end(); }
    bool complete() const
    {
        return std::all_of(columns.begin(), columns.end(), [](const auto& c) { return c.has_value(); });
    }
};

// The five fields' columns in each sheet's header, by the office's choice
// where the sheet has the column chosen, else by their names.
class FieldFinder {
public:
    FieldFinder(const ColumnChoice& choice, Report& report) : choice_(choice), report_(report) {}

    // The fields of the sheet whose header is `header`; its other named
    // columns noted as ignored, the hidden ones of the five as hidden.
    Layout layOut(const Table& table, Row header)
    {
        const auto [columns, first] = headerColumns(table, header);
        Layout layout;
        layout.first = first;
        layout.headerCells = header->cells.size();
        for (int f = 0; f < 5; ++f)
            layout.columns[f] = findField(static_cast<Field>(f), columns, header->row);
        for (const HeaderColumn& column : columns) {
            if (layout.holds(column.column)) {
                layout.named.insert(column.column);
            } else if (!column.name.empty()) {
                noteOnce(report_.file.ignoredColumns, column.shown());
                layout.named.insert(column.column);
            }
        }
        for (const std::size_t hidden : table.hiddenColumns)
            for (const HeaderColumn& column : columns)
                if (column.column == hidden && layout.holds(hidden))
                    noteOnce(report_.file.hiddenColumns, column.shown());
        return layout;
    }

    // The refusals of chosen columns that no sheet read has.
    void refuseChoicesNotFound(std::vector<RosterProblem>& problems) const
    {
        for (int f = 0; f < 5; ++f)
            if (!choice_[f].empty() && !chosen_[f])
                problems.push_back({0, "no column is named \"" + visible(choice_[f]) + "\" (--column " +
                                           toUtf8(HEADER_NAMES[f][0]) + "=" + visible(choice_[f]) + ")"});
    }

private:
    // The column of one field: the one the office chose where the sheet has
    // it, else the one named for it; the score may be any column whose name
    // holds 成绩, and where several do, the office must choose. None, and a
    // problem at the header's row, where there is no such column or several.
    std::optional<std::size_t> findField(Field f, const std::vector<HeaderColumn>& columns, int row)
    {
        const std::string field = toUtf8(HEADER_NAMES[f][1]), key = toUtf8(HEADER_NAMES[f][0]);
        const std::string choose = "; choose one with --column " + key + "=NAME (the column's header)";
        if (const auto chosen = chosenColumns(f, columns); chosen.size() > 1) {
            report_.error(row, "several columns are named \"" + visible(choice_[f]) + "\" (--column " + key + "=" +
                                   visible(choice_[f]) + "): name one by its letter, e.g. --column " + key + "=" +
                                   columnName(chosen.front()->column));
            return std::nullopt;
        } else if (chosen.size() == 1) {
            chosen_[f] = true;
            noteOnce(report_.file.chosenColumns, chosen.front()->shown() + " as " + field);
            return chosen.front()->column;
        }
        const auto found = namedColumns(f, columns);
        if (found.empty()) {
            report_.error(row, "the header has no column " + field + " (or " + key + ")" +
                                   (f == CHENGJI ? ""
                                                 : "; if it has another name, choose it with --column " + key +
                                                       "=NAME"));
            return std::nullopt;
        }
        if (found.size() > 1) {
            std::string names;
            for (const HeaderColumn* c : found)
                names += (names.empty() ? "" : ", ") + c->shown();
            report_.error(row, (f == CHENGJI ? "several columns could be the score (" + field + "): "
                                             : "several columns for " + field + ": ") +
                                   names + choose);
            report_.problems.back().field = f;
            for (const HeaderColumn* c : found)
                report_.problems.back().columns.emplace_back(columnName(c->column), c->shown());
            return std::nullopt;
        }
        if (f == CHENGJI && fieldNamed(found.front()->name) != CHENGJI)
            noteOnce(report_.file.chosenColumns, found.front()->shown() + " as " + field);
        return found.front()->column;
    }

    // The columns whose header (or letter) is the one the office chose for
    // the field; none where it chose none.
    std::vector<const HeaderColumn*> chosenColumns(Field f, const std::vector<HeaderColumn>& columns) const
    {
        std::vector<const HeaderColumn*> found;
        const std::u16string wanted = headerName(choice_[f]);
        for (const HeaderColumn& c : columns)
            if (!choice_[f].empty() && (headerName(c.name) == wanted ||
                                        (c.name.empty() && headerName(c.group) == wanted) ||
                                        fromUtf8(columnName(c.column)) == wanted))
                found.push_back(&c);
        return found;
    }

    // The columns named for the field; of several scores, the one named 成绩
    // (or chengji) itself where there is one.
    static std::vector<const HeaderColumn*> namedColumns(Field f, const std::vector<HeaderColumn>& columns)
    {
        std::vector<const HeaderColumn*> found;
        for (const HeaderColumn& c : columns)
            if (f == CHENGJI ? scoreLike(c.name) || (!fieldNamed(c.name) && scoreLike(c.group))
                             : fieldNamed(c.name) == f)
                found.push_back(&c);
        const auto plain = [](const HeaderColumn* c) {
            return headerName(c->name) == HEADER_NAMES[CHENGJI][1] || headerName(c->name) == HEADER_NAMES[CHENGJI][0];
        };
        if (f == CHENGJI && found.size() > 1 && std::count_if(found.begin(), found.end(), plain) == 1)
            found.erase(std::remove_if(found.begin(), found.end(), std::not_fn(plain)), found.end());
        return found;
    }

    const ColumnChoice& choice_;
    Report& report_;
    bool chosen_[5] = {};  // a column chosen with --column was found
};

// A table's total row: its first cell 合计, 总计, 汇总 or 小计, or a row a
// workbook's table marks as its totals.
bool totalRow(const TableRow& row)
{
    if (row.total)
        return true;
    const auto first = std::find_if(row.cells.begin(), row.cells.end(),
                                    [](const Cell& c) { return !trimmed(c.text).empty(); });
    if (first == row.cells.end())
        return false;
    const std::u16string name = headerName(first->text);
    return name == u"合计" || name == u"总计" || name == u"汇总" || name == u"小计";
}

// Text after the last record with no ticket or identity number, in one or
// two cells (制表人：…) or a total row (汇总 | 25人 | 1850), is a footer:
// each is noted. Returns the end of the records, where the footers begin.
Row skipFooters(const Table& table, Row first, Report& report)
{
    Row last = table.rows.end();
    while (last != first && (filledCells(*(last - 1)) == 0 ||
                             totalRow(*(last - 1)) ||
                             (filledCells(*(last - 1)) <= 2 && !holdsLongNumber(*(last - 1)))))
        --last;
    for (Row row = last; row != table.rows.end(); ++row)
        if (filledCells(*row)) {
            std::u16string text;
            for (const Cell& cell : row->cells)
                if (!trimmed(cell.text).empty())
                    text += (text.empty() ? u"" : u" | ") + std::u16string(trimmed(cell.text));
            report.file.footers.push_back({report.here(row->row), text});
        }
    return last;
}

// Only what cannot change the meaning: ="…" unwrapped, full-width digits
// and letters made ASCII, the final x of an identity number upper-case.
void normalize(std::u16string& key, bool identity, int row, Report& report)
{
    const std::string what = identity ? "identity numbers" : "ticket numbers";
    if (key.size() >= 3 && key.starts_with(u"=\"") && key.ends_with(u'"') && key.find(u'"', 2) == key.size() - 1) {
        key = key.substr(2, key.size() - 3);
        report.changed(what + " written as =\"…\": unwrapped", row);
    }
    if (std::any_of(key.begin(), key.end(), isFullWidthAlphanumeric)) {
        for (char16_t& c : key)
            if (isFullWidthAlphanumeric(c))
                c = static_cast<char16_t>(c - 0xFF10 + u'0');
        report.changed(what + " in full-width characters: made ASCII", row);
    }
    if (identity && key.size() == 18 && key.back() == u'x' && checkCharacter(key)) {
        key.back() = u'X';
        report.changed("identity numbers ending in a lower-case x: X, as the card prints it", row);
    }
}

// A ticket or identity number the program can find: present, without
// blanks, not turned into a number by Excel.
void checkKey(const std::u16string& key, bool number, bool identity, int row, Report& report)
{
    const std::string what = identity ? "identity number (" + toUtf8(HEADER_NAMES[SHEN][1]) + ")"
                                      : "ticket number (" + toUtf8(HEADER_NAMES[ZHUN][1]) + ")";
    const std::string the = "the " + what + " \"" + shown(key, identity) + "\" ";
    const char* hint = ": format the column as text, type the numbers again, and save";
    if (key.empty()) {
        report.error(row, "the " + what + " is empty");
    } else if (const auto blank = std::find_if(key.begin(), key.end(), isBlank); blank != key.end()) {
        const char* where = blank == key.begin() ? "before" : blank + 1 == key.end() ? "after" : "inside";
        report.error(row, the + "has a blank (" + codePoint(*blank) + ") " + where + " it");
    } else if (number && (identity || !allDigits(key))) {
        report.error(row, the + "is stored as a number in the workbook, its digits already lost" + hint);
    } else if (scientific(key)) {
        report.error(row, the + "is a number in Excel's scientific notation, its digits lost" + hint);
    } else if (key.size() > 15 && allDigits(key) && key.find_first_not_of(u'0', 15) == std::u16string::npos &&
               !(identity && checkCharacter(key) == key.back())) {
        report.error(row, the + "ends in zeros after its 15th digit, as Excel leaves a number it rounded" + hint);
    }
}

// The ticket and identity numbers of the records so far, over every sheet:
// one seen before is refused at its row.
class Repeats {
public:
    void check(const RosterRecord& fields, int row, Report& report)
    {
        for (auto [seen, field, identity] :
             {std::tuple{&tickets_, &fields.zhun, false}, std::tuple{&identities_, &fields.shen, true}})
            if (const auto [at, fresh] = seen->emplace(*field, report.here(row)); !fresh)
                report.error(row, std::string("the ") + (identity ? "identity" : "ticket") + " number " +
                                      shown(*field, identity) + " repeats the one on " + rowsNamed({at->second}));
    }

private:
    std::map<std::u16string, Place> tickets_, identities_;
};

// What can make a candidate's lookup fail or show wrong: an identity number
// not as the card prints it, a name not in Chinese, an empty name or score,
// blanks around a score or remark.
void warnAboutRecord(const RosterRecord& fields, int row, Report& report)
{
    const std::u16string& identity = fields.shen;
    const char16_t check = checkCharacter(identity);
    const std::string number = "the identity number " + maskIdentity(identity);
    if (identity.size() == 15 && allDigits(identity))
        report.warn(WarningKind::Identity, row, number + " has 15 digits, an old-style number; numbers now have 18");
    else if (!check || (!isDigit(identity.back()) && identity.back() != u'X'))
        report.warn(WarningKind::Identity, row, number + " is not 17 digits followed by a digit or X");
    else if (identity.back() != check)
        report.warn(WarningKind::Identity, row, number + " fails its check (ISO 7064 MOD 11-2)");

    const std::u16string& name = fields.xing;
    for (std::size_t i = 0; i < name.size(); i += codePointAt(name, i) > 0xFFFF ? 2 : 1)
        if (const char32_t c = codePointAt(name, i); !isNameCharacter(c)) {
            const auto character = toUtf8(std::u16string_view(name).substr(i, c > 0xFFFF ? 2 : 1));
            report.warn(WarningKind::NotChinese, row, "the name has a character that is not Chinese: " +
                                                          (c < 0x20 || isBlank(static_cast<char16_t>(c))
                                                               ? codePoint(c)
                                                               : "\"" + character + "\" (" + codePoint(c) + ")"));
            break;
        }
    if (name.empty())
        report.warn(WarningKind::EmptyName, row, "the name is empty");
    if (trimmed(fields.chengji).empty())
        report.warn(WarningKind::EmptyScore, row, "the score is empty");
    for (const auto& [field, what] : {std::pair{&fields.chengji, "score"}, std::pair{&fields.beizhu, "remark"}})
        if (!trimmed(*field).empty() && (isBlank(field->front()) || isBlank(field->back())))
            report.warn(WarningKind::Blanks, row, std::string("the ") + what + " has blanks around it");
}

// A ticket number of another length than most is likely one that lost a
// leading zero, or a typing slip.
void warnAboutTicketLengths(RosterFile& file)
{
    std::map<std::size_t, std::size_t> counts;
    for (const auto& fields : file.records)
        ++counts[fields.zhun.size()];
    const auto usual = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                           return a.second < b.second;
                       })->first;
    for (std::size_t k = 0; k < file.records.size(); ++k)
        if (const auto length = file.records[k].zhun.size(); length != usual)
            file.warnings.push_back({WarningKind::TicketLength, file.rows[k].row,
                                     "the ticket number " + toUtf8(file.records[k].zhun) + " has " +
                                         std::to_string(length) + " characters where the others have " +
                                         std::to_string(usual) + (length < usual ? " (a lost leading zero?)" : ""),
                                     file.rows[k].sheet});
}

// The rows of each sheet into records: every record taken as the sheet shows
// it, refused by its row where it cannot be, its keys normalized and
// checked, repeats found over all sheets, its oddities warned of.
class RecordReader {
public:
    RecordReader(std::size_t maxRecords, Report& report) : maxRecords_(maxRecords), report_(report) {}

    // The rows of a sheet from below its header to `end`, each with the
    // cells that merges give it.
    void readRows(const Table& table, const Layout& layout, Row end, const std::multimap<int, Cell>& merged)
    {
        table_ = &table;
        layout_ = &layout;
        emptyRows_.clear();
        unnamed_.clear();
        for (Row row = layout.first; row != end; ++row) {
            const auto [from, to] = merged.equal_range(row->row);
            if (from == to) {
                readRecord(*row);
                continue;
            }
            TableRow filled = *row;
            for (auto it = from; it != to; ++it)
                filled.cells.push_back(it->second);
            std::sort(filled.cells.begin(), filled.cells.end(),
                      [](const Cell& a, const Cell& b) { return a.column < b.column; });
            readRecord(filled);
        }
        for (const std::size_t column : unnamed_)  // without a header but with data: named too
            noteOnce(report_.file.ignoredColumns, "without a header (" + columnName(column) + ")");
    }

private:
    void readRecord(const TableRow& row)
    {
        const auto& columns = layout_->columns;
        RosterRecord fields;
        bool numbers[5] = {};  // of a workbook's number cells
        bool any = false, padded = false;
        std::vector<std::string> unshown;  // cells that cannot be taken as the sheet shows them
        for (const Cell& cell : row.cells) {
            bool mapped = false;
            for (int f = 0; f < 5; ++f)
                if (columns[f] == cell.column) {
                    fields.*ROSTER_FIELDS[f] = cell.text;
                    numbers[f] = cell.number;
                    padded |= f == ZHUN && cell.formatted;
                    mapped = true;
                    if (!cell.problem.empty())
                        unshown.push_back("column " + columnName(cell.column) + " (" + toUtf8(HEADER_NAMES[f][1]) +
                                          "): " + cell.problem);
                }
            any |= !cell.text.empty() || !cell.problem.empty();
            if (!mapped && !cell.text.empty() && !layout_->named.count(cell.column))
                unnamed_.insert(cell.column);
        }
        if (!any) {
            emptyRows_.push_back(row.row);
            return;
        }
        for (const int empty : emptyRows_)
            report_.warn(WarningKind::EmptyRow, empty, "an empty row is skipped");
        emptyRows_.clear();
        if (table_->separator && row.cells.size() != layout_->headerCells && !extraFieldsEmpty(row)) {
            report_.error(row.row, "found " + std::to_string(row.cells.size()) + " fields where the header row has " +
                                       std::to_string(layout_->headerCells));
            return;
        }
        if (!layout_->complete())
            return;
        if (report_.file.records.size() == maxRecords_) {
            if (!tooMany_)
                report_.error(row.row, "more than " + std::to_string(maxRecords_) +
                                           " records: the roster can hold at most " + std::to_string(maxRecords_));
            tooMany_ = true;
            return;
        }
        if (!unshown.empty()) {
            for (auto& problem : unshown)
                report_.error(row.row, std::move(problem));
            return;
        }
        // A number the sheet shows padded with zeros is taken as shown.
        if (numbers[ZHUN] && !padded && allDigits(fields.zhun))
            report_.changed("ticket numbers stored as numbers: taken as their digits", row.row);
        const std::size_t errors = report_.problems.size();
        normalize(fields.zhun, false, row.row, report_);
        normalize(fields.shen, true, row.row, report_);
        checkKey(fields.zhun, numbers[ZHUN], false, row.row, report_);
        checkKey(fields.shen, numbers[SHEN], true, row.row, report_);
        if (report_.problems.size() == errors)
            repeats_.check(fields, row.row, report_);
        warnAboutRecord(fields, row.row, report_);
        if (row.hidden)
            report_.file.hiddenRows.push_back(report_.here(row.row));
        report_.file.records.push_back(std::move(fields));
        report_.file.rows.push_back(report_.here(row.row));
    }

    // A text row may differ from the header in trailing empty fields only,
    // and reach at least the last column used.
    bool extraFieldsEmpty(const TableRow& row) const
    {
        std::size_t used = 0;
        for (const auto& column : layout_->columns)
            used = std::max(used, column.value_or(0) + 1);
        if (row.cells.size() < used)
            return false;
        return std::all_of(row.cells.begin() +
                               static_cast<std::ptrdiff_t>(std::min(layout_->headerCells, row.cells.size())),
                           row.cells.end(), [](const Cell& cell) { return cell.text.empty(); });
    }

    std::size_t maxRecords_;
    Report& report_;
    const Table* table_ = nullptr;
    const Layout* layout_ = nullptr;
    std::vector<int> emptyRows_;  // warned about only when a record follows
    std::set<std::size_t> unnamed_;  // columns without a header but with data
    Repeats repeats_;
    bool tooMany_ = false;
};

// A table's first row as it stands, separators and blanks made visible,
// long digit runs (identity numbers) masked.
std::string rowShown(const Table& table)
{
    std::u16string text;
    for (const Cell& cell : table.rows.front().cells) {
        if (&cell != &table.rows.front().cells.front())
            text += table.separator == u'\t'  ? u"<TAB>"
                    : table.separator == u',' ? u","
                    : table.separator == u';' ? u";"
                                              : u" | ";
        text += cell.text;
    }
    std::string shown;
    std::size_t i = 0;
    while (i < text.size() && shown.size() < 200) {
        std::size_t run = i;
        while (run < text.size() && (isDigit(text[run]) || text[run] == u'X' || text[run] == u'x'))
            ++run;
        if (run - i >= 15) {
            shown += maskIdentity(std::u16string_view(text).substr(i, run - i));
            i = run;
        } else if (text[i] == u' ') {
            shown += "·", ++i;
        } else if (text[i] == u'\u3000') {
            shown += "<全角空格>", ++i;
        } else {
            const std::size_t length = codePointAt(text, i) > 0xFFFF ? 2 : 1;
            shown += visible(std::u16string_view(text).substr(i, length)), i += length;
        }
    }
    return "\"" + shown + (i < text.size() ? "…" : "") + "\"";
}

// The refusal where no sheet has the header: what was looked for, and what
// the first row of each sheet reads.
RosterProblem noHeader(const std::vector<Table>& tables)
{
    const Table& first = tables.front();
    if (tables.size() == 1 && first.rows.empty())
        return {1, "the file is empty; it must hold a header row and the records"};
    std::string looked;
    for (const auto& names : HEADER_NAMES)
        looked += (looked.empty() ? "" : ", ") + toUtf8(names[1]) + " (or " + toUtf8(names[0]) + ")";
    std::string message = "no header row in the first " + std::to_string(HEADER_SEARCH_ROWS) +
                          " rows: looked for a row with the columns " + looked;
    if (tables.size() == 1)
        return {first.rows.front().row, message + "; the first row reads " + rowShown(first)};
    message = "no sheet has a header row in its first " + std::to_string(HEADER_SEARCH_ROWS) +
              " rows: looked for a row with the columns " + looked + "; the first rows read:";
    for (const Table& table : tables)
        message += " \"" + table.sheet + "\" " + (table.rows.empty() ? "(empty)" : rowShown(table)) + ";";
    message += " make the header of the roster's sheet name these columns, or pack one sheet with --sheet NAME";
    return {0, message};
}

// The merges that reach the records in the five columns: one over several
// records gives each the merged value (noted); one that joins the header
// with records, or spans two of the five columns, or shows another column's
// value over one of them, is refused. Returns the cells the merges give,
// by row.
std::multimap<int, Cell> mergedCells(const Table& table, const Layout& layout, Row end, Report& report)
{
    std::multimap<int, Cell> given;
    if (layout.first == end)
        return given;
    const int first = layout.first->row, last = (end - 1)->row;
    for (const Merge& merge : table.merges) {
        if (merge.lastRow < first || merge.firstRow > last)
            continue;
        std::vector<Field> fields;
        for (int f = 0; f < 5; ++f)
            if (layout.columns[f] && *layout.columns[f] >= merge.firstColumn && *layout.columns[f] <= merge.lastColumn)
                fields.push_back(static_cast<Field>(f));
        if (fields.empty())
            continue;
        const std::string range = (report.sheet.empty() ? "" : report.sheet + "!") + columnName(merge.firstColumn) +
                                  std::to_string(merge.firstRow) + ":" + columnName(merge.lastColumn) +
                                  std::to_string(merge.lastRow);
        const auto named = [&](Field f) { return toUtf8(HEADER_NAMES[f][1]); };
        if (merge.firstRow < first) {
            report.error(merge.firstRow, "the merged cells " + range + " join the header with records: unmerge "
                                         "them and give each record its own " + named(fields.front()));
        } else if (fields.size() > 1) {
            report.error(merge.firstRow, "the merged cells " + range + " span two of the five columns (" +
                                             named(fields[0]) + ", " + named(fields[1]) +
                                             "): unmerge them and give each column its own value");
        } else if (*layout.columns[fields.front()] != merge.firstColumn) {
            report.error(merge.firstRow, "the merged cells " + range + " show column " +
                                             columnName(merge.firstColumn) + "'s value over the column " +
                                             named(fields.front()) + ": unmerge them");
        } else if (merge.lastRow > merge.firstRow) {
            const auto top = std::find_if(layout.first, end, [&](const TableRow& r) { return r.row == merge.firstRow; });
            const Cell* value = top == end ? nullptr : cellAt(*top, merge.firstColumn);
            if (!value || (value->text.empty() && value->problem.empty()))
                continue;
            std::vector<Place> rows{{"", merge.firstRow}};  // the range names the sheet
            for (Row row = top + 1; row != end && row->row <= merge.lastRow; ++row) {
                given.emplace(row->row, *value);
                rows.push_back({"", row->row});
            }
            report.file.mergedCells.push_back(range + " merged: " + visible(value->text) + " for " + rowsNamed(rows));
        }
    }
    return given;
}

// One table: the problems its rows had, and where it has the header, its
// fields found, its records read and its footers noted; its problems in row
// order. False for a table without the header, which is skipped.
bool readSheet(const Table& table, bool several, bool named, FieldFinder& fields, RecordReader& records,
               Report& report)
{
    report.sheet = several ? table.sheet : "";
    const std::size_t before = report.problems.size();
    for (RosterProblem problem : table.problems)
        report.problems.push_back((problem.sheet = report.sheet, problem));
    const Row header = headerOf(table);
    if (header == table.rows.end()) {
        report.file.skippedSheets.push_back(table.sheet);
        return false;
    }
    // What the office cannot see becomes no candidate unless it asks for it.
    if (table.hidden && !named) {
        report.file.hiddenSheets.push_back({table.sheet, table.veryHidden});
        return false;
    }
    const Layout layout = fields.layOut(table, header);
    report.file.headers.push_back(report.here(header->row));
    const Row end = skipFooters(table, layout.first, report);
    records.readRows(table, layout, end, mergedCells(table, layout, end, report));
    sortByRow(report.problems, before);
    return true;
}

// Refuses the file with every problem found, and those of the file as a
// whole: no sheet with the header, no record, a chosen column no sheet has.
void refuseOnProblems(const std::vector<Table>& tables, bool headerFound, const FieldFinder& fields, Report& report)
{
    std::vector<RosterProblem>& problems = report.problems;
    if (!headerFound && !report.file.hiddenSheets.empty())
        for (const HiddenSheet& sheet : report.file.hiddenSheets)
            problems.push_back({0, "no sheet the workbook shows has a header row; " + hiddenSheetNote(sheet)});
    else if (!headerFound)
        problems.push_back(noHeader(tables));
    else if (report.file.records.empty() && problems.empty())
        problems.push_back({0, "the roster has no record"});
    if (headerFound)
        fields.refuseChoicesNotFound(problems);
    if (tables.size() == 1)
        sortByRow(problems, 0);
    if (!problems.empty())
        throw ImportError(std::move(problems));
}

// A workbook's sheets read, named in the format; a text file has no sheet to skip.
void nameSheets(const std::vector<Table>& tables, const std::vector<std::string>& read, RosterFile& file)
{
    if (tables.front().sheet.empty()) {
        file.skippedSheets.clear();
        return;
    }
    file.format += read.size() == 1 ? ", sheet " : ", sheets ";
    for (const std::string& sheet : read)
        file.format += (&sheet == &read.front() ? "\"" : ", \"") + sheet + "\"";
}

std::vector<Table> tablesOf(std::string_view bytes, Encoding encoding, std::string_view sheet)
{
    if (isOpenDocument(bytes))
        return readOds(bytes, sheet);
    if (isZip(bytes))
        return readWorkbook(bytes, sheet);
    if (isCompoundFile(bytes))
        return readXls(bytes, sheet);
    if (isSpreadsheetMl(bytes))
        return readSpreadsheetMl(bytes, sheet);
#ifdef VARNHOLT_HTML
    if (isHtmlTable(bytes))
        return readHtmlTables(bytes, sheet);
#endif
    return {readText(bytes, encoding, [](const Table& t) { return headerOf(t) != t.rows.end(); })};
}

}  // namespace

const char* warningKindTitle(WarningKind kind)
{
    switch (kind) {
    case WarningKind::Identity: return "identity numbers that are not as a card prints them";
    case WarningKind::NotChinese: return "names with a character that is not Chinese";
    case WarningKind::EmptyScore: return "empty scores";
    case WarningKind::EmptyName: return "empty names";
    case WarningKind::TicketLength: return "ticket numbers of another length than most";
    case WarningKind::Blanks: return "scores or remarks with blanks around them";
    case WarningKind::EmptyRow: return "empty rows skipped";
    }
    return "";
}

std::string hiddenSheetNote(const HiddenSheet& sheet)
{
    return "the sheet \"" + sheet.name + "\" has the header but the workbook hides it" +
           (sheet.veryHidden ? " as very hidden (Excel's menus cannot unhide it)" : "") +
           ", so it is not read; if its candidates belong to the roster, pack it with --sheet \"" + sheet.name + "\"";
}

std::string maskIdentity(std::u16string_view number)
{
    return (number.size() < 14 ? std::string() : toUtf8(number.substr(0, 6))) + "……";
}

std::optional<Encoding> encodingNamed(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (lower == "utf-8" || lower == "utf8")
        return Encoding::Utf8;
    if (lower == "utf-16le" || lower == "utf16le" || lower == "utf-16" || lower == "utf16")
        return Encoding::Utf16le;
    if (lower == "gb18030" || lower == "gbk" || lower == "gb2312" || lower == "cp936" || lower == "936")
        return Encoding::Gb18030;
    return std::nullopt;
}

std::u16string visibleMark(char16_t c)
{
    if (c == u'\t' || c == u'\n' || c == u'\r')
        return {};
    if (c < 0x20)
        return std::u16string(1, static_cast<char16_t>(0x2400 + c));  // the control pictures: ␛
    if (c == 0x7F)
        return u"\u2421";
    if (c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
        static constexpr char16_t digits[] = u"0123456789ABCDEF";
        return std::u16string(u"[U+") + digits[c >> 12] + digits[(c >> 8) & 15] + digits[(c >> 4) & 15] +
               digits[c & 15] + u"]";
    }
    return {};
}

std::string visible(std::u16string_view text)
{
    std::u16string shown;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\r' || text[i] == u'\n') {
            shown += u'\u23CE';
            i += text.substr(i, 2) == u"\r\n";
        } else if (const std::u16string mark = visibleMark(text[i]); !mark.empty()) {
            shown += mark;
        } else {
            shown += text[i] == u'\t' ? u'\u2192' : text[i];
        }
    return toUtf8(shown);
}

std::string rowsNamed(const std::vector<Place>& places, std::size_t count)
{
    const bool sheets = std::any_of(places.begin(), places.end(), [](const Place& p) { return !p.sheet.empty(); });
    std::string text = sheets ? "" : places.size() == 1 && count <= 1 ? "row " : "rows ";
    for (std::size_t i = 0; i < places.size(); ++i)
        text += (i ? ", " : "") + (sheets && (i == 0 || places[i].sheet != places[i - 1].sheet) ? places[i].sheet + "!" : "") +
                std::to_string(places[i].row);
    return text + (count > places.size() ? ", …" : "");
}

std::optional<std::size_t> fieldOfKey(std::string_view key)
{
    for (std::size_t f = 0; f < 5; ++f)
        if (fromUtf8(key) == HEADER_NAMES[f][0])
            return f;
    return std::nullopt;
}

void noSuchSheet(std::string_view sheet, const std::vector<std::string>& names)
{
    std::string list;
    for (const auto& name : names)
        list += (list.empty() ? "\"" : ", \"") + name + "\"";
    throw ImportError(0, "the workbook has no sheet \"" + std::string(sheet) + "\"; it has " + list);
}

std::vector<Table> sheetNamed(std::vector<Table> tables, std::string_view sheet)
{
    if (sheet.empty())
        return tables;
    std::vector<std::string> names;
    for (Table& table : tables) {
        if (table.sheet == sheet)
            return {std::move(table)};
        names.push_back(table.sheet);
    }
    noSuchSheet(sheet, names);
}

RosterFile readRoster(std::string_view bytes, Encoding encoding, std::size_t maxRecords, std::string_view sheet,
                      const ColumnChoice& columns)
{
    const std::vector<Table> tables = tablesOf(bytes, encoding, sheet);
    Report report(tables.front());
    FieldFinder fields(columns, report);
    RecordReader records(maxRecords, report);
    std::vector<std::string> read;  // the sheets with the header
    for (const Table& table : tables)
        if (readSheet(table, tables.size() > 1, !sheet.empty(), fields, records, report))
            read.push_back(table.sheet);
    refuseOnProblems(tables, !read.empty(), fields, report);
    nameSheets(tables, read, report.file);
    warnAboutTicketLengths(report.file);
    std::stable_sort(report.file.warnings.begin(), report.file.warnings.end(),
                     [](const auto& a, const auto& b) { return a.kind < b.kind; });
    return std::move(report.file);
}
