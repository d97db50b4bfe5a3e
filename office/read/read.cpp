// Rows of cells into records: the header found and its columns mapped, keys
// normalized where the meaning is certain, every record checked, every
// problem collected before the file is refused.
#include "office/read/read.h"

#include <algorithm>
#include <cstdio>
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

// The first row within the first rows that names the ticket and the
// identity column.
std::vector<TableRow>::const_iterator headerOf(const Table& table)
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

// A column of the header: its name, and the group above it where the header
// has two rows (成绩 over 笔试 and 面试).
struct Column {
    std::size_t column;
    std::u16string name, group;
    std::string shown() const
    {
        return visible(name.empty() ? group : name) + " (" + columnName(column) +
               (!name.empty() && !group.empty() ? ", under " + visible(group) : "") + ")";
    }
};

class Mapper {
public:
    Mapper(std::vector<Table>& tables, std::size_t maxRecords, const ColumnChoice& choice)
        : tables_(tables), maxRecords_(maxRecords), choice_(choice)
    {
        file_.format = tables.front().format;
        file_.encodingNote = tables.front().encodingNote;
    }

    RosterFile run()
    {
        std::vector<std::string> read;
        for (const Table& table : tables_) {
            table_ = &table;
            sheet_ = tables_.size() > 1 ? table.sheet : "";
            const std::size_t before = problems_.size();
            for (RosterProblem problem : table.problems)
                problems_.push_back((problem.sheet = sheet_, problem));
            const auto header = headerOf(table);
            if (header == table.rows.end()) {
                file_.skippedSheets.push_back(table.sheet);
                continue;
            }
            read.push_back(table.sheet);
            if (table.hidden)
                file_.hiddenSheets.push_back(table.sheet);
            readSheet(header);
            std::stable_sort(problems_.begin() + static_cast<std::ptrdiff_t>(before), problems_.end(),
                             [](const RosterProblem& a, const RosterProblem& b) { return a.row < b.row; });
        }
        if (read.empty())
            noHeader();
        else if (file_.records.empty() && problems_.empty())
            problems_.push_back({0, "the roster has no record"});
        for (int f = 0; f < 5; ++f)
            if (!read.empty() && !choice_[f].empty() && !chosen_[f])
                problems_.push_back({0, "no column is named \"" + visible(choice_[f]) + "\" (--column " +
                                            toUtf8(HEADER_NAMES[f][0]) + "=" + visible(choice_[f]) + ")"});
        if (tables_.size() == 1)
            std::stable_sort(problems_.begin(), problems_.end(),
                             [](const RosterProblem& a, const RosterProblem& b) { return a.row < b.row; });
        if (!problems_.empty())
            throw ImportError(std::move(problems_));
        if (!tables_.front().sheet.empty()) {
            file_.format += read.size() == 1 ? ", sheet " : ", sheets ";
            for (const std::string& sheet : read)
                file_.format += (&sheet == &read.front() ? "\"" : ", \"") + sheet + "\"";
        } else {
            file_.skippedSheets.clear();
        }
        warnAboutTicketLengths();
        std::stable_sort(file_.warnings.begin(), file_.warnings.end(),
                         [](const auto& a, const auto& b) { return a.kind < b.kind; });
        return std::move(file_);
    }

private:
    using Row = std::vector<TableRow>::const_iterator;

    Place here(int row) const { return {sheet_, row}; }

    void readSheet(Row header)
    {
        columns_ = {};
        named_.clear();
        unnamed_.clear();
        emptyRows_.clear();
        unknown_ = {};
        const Row first = mapColumns(header);
        file_.headers.push_back(here(header->row));
        // Text after the last record, in one or two cells and with no ticket
        // or identity number, is a footer (制表人：…, 合计).
        Row last = table_->rows.end();
        while (last != first && (filledCells(*(last - 1)) == 0 ||
                                 (filledCells(*(last - 1)) <= 2 && !holdsLongNumber(*(last - 1)))))
            --last;
        for (Row row = first; row != last; ++row)
            readRecord(*row);
        for (Row row = last; row != table_->rows.end(); ++row)
            if (filledCells(*row)) {
                std::u16string text;
                for (const Cell& cell : row->cells)
                    if (!trimmed(cell.text).empty())
                        text += (text.empty() ? u"" : u" | ") + std::u16string(trimmed(cell.text));
                file_.footers.push_back({here(row->row), text});
            }
        for (const std::size_t column : unnamed_)  // without a header but with data: named too
            ignore("without a header (" + columnName(column) + ")");
        for (int f = 0; f < 5; ++f)
            if (unknown_[f].count)
                formatUnknown(static_cast<Field>(f));
    }

    // The refusal where no sheet has the header: what was looked for, and
    // what the first row of each sheet reads.
    void noHeader()
    {
        const Table& first = tables_.front();
        if (tables_.size() == 1 && first.rows.empty()) {
            problems_.push_back({1, "the file is empty; it must hold a header row and the records"});
            return;
        }
        std::string looked;
        for (const auto& names : HEADER_NAMES)
            looked += (looked.empty() ? "" : ", ") + toUtf8(names[1]) + " (or " + toUtf8(names[0]) + ")";
        std::string message = "no header row in the first " + std::to_string(HEADER_SEARCH_ROWS) +
                              " rows: looked for a row with the columns " + looked;
        if (tables_.size() == 1) {
            problems_.push_back({first.rows.front().row, message + "; the first row reads " + rowShown(first)});
            return;
        }
        message = "no sheet has a header row in its first " + std::to_string(HEADER_SEARCH_ROWS) +
                  " rows: looked for a row with the columns " + looked + "; the first rows read:";
        for (const Table& table : tables_)
            message += " \"" + table.sheet + "\" " + (table.rows.empty() ? "(empty)" : rowShown(table)) + ";";
        message += " make the header of the roster's sheet name these columns, or pack one sheet with --sheet NAME";
        problems_.push_back({0, message});
    }

    // A table's first row as it stands, separators and blanks made visible,
    // long digit runs (identity numbers) masked.
    static std::string rowShown(const Table& table)
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

    // The header's columns, over one row or two: a second row right below,
    // empty under the ticket and identity columns, holds the names of the
    // columns below a group (成绩 over 笔试, 面试). A group row right above
    // the header, of two cells or more, does the same from above. Returns
    // the first row after the header.
    Row mapColumns(Row header)
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
        if (next != table_->rows.end() && next->row == header->row + 1 && !cellAt(*next, ticket) &&
            !cellAt(*next, identity) && filledCells(*next) && !holdsLongNumber(*next)) {
            groups = std::move(names);
            names = cellsOf(*next);
            ++next;
        } else if (header != table_->rows.begin() && (header - 1)->row == header->row - 1 &&
                   filledCells(*(header - 1)) >= 2) {
            groups = cellsOf(*(header - 1));
        }
        // Each column: its own name, or the cell above a merged one; a group
        // reaches from its cell to the next.
        std::set<std::size_t> all;
        for (const auto& cells : {&names, &groups})
            for (const auto& [column, text] : *cells)
                all.insert(column);
        std::vector<Column> columns;
        for (const std::size_t column : all) {
            const auto after = groups.upper_bound(column);
            const auto group = after == groups.begin() ? groups.end() : std::prev(after);
            Column c{column, names.count(column) ? names[column] : u"", group == groups.end() ? u"" : group->second};
            if (c.name.empty() && group != groups.end() && group->first == column)
                std::swap(c.name, c.group);  // a name merged over both rows
            columns.push_back(std::move(c));
        }
        headerCells_ = header->cells.size();
        for (int f = 0; f < 5; ++f)
            findField(static_cast<Field>(f), columns, header->row);
        for (const Column& column : columns) {
            if (std::find(std::begin(columns_), std::end(columns_), column.column) != std::end(columns_)) {
                named_.insert(column.column);
                continue;
            }
            if (!column.name.empty()) {
                ignore(column.shown());
                named_.insert(column.column);
            }
        }
        for (const std::size_t hidden : table_->hiddenColumns)
            for (const Column& column : columns)
                if (column.column == hidden && named_.count(hidden) &&
                    std::find(std::begin(columns_), std::end(columns_), hidden) != std::end(columns_))
                    noteOnce(file_.hiddenColumns, column.shown());
        return next;
    }

    // The column of one field: the one the office chose where the sheet has
    // it, else the one named for it; the score may be any column whose name
    // holds 成绩, and where several do, the office must choose.
    void findField(Field f, const std::vector<Column>& columns, int row)
    {
        const std::string field = toUtf8(HEADER_NAMES[f][1]), key = toUtf8(HEADER_NAMES[f][0]);
        const std::string choose = "; choose one with --column " + key + "=NAME (the column's header)";
        std::vector<const Column*> found;
        if (!choice_[f].empty()) {
            const std::u16string wanted = headerName(choice_[f]);
            for (const Column& c : columns)
                if (headerName(c.name) == wanted || (c.name.empty() && headerName(c.group) == wanted) ||
                    fromUtf8(columnName(c.column)) == wanted)
                    found.push_back(&c);
            if (found.size() > 1) {
                error(row, "several columns are named \"" + visible(choice_[f]) + "\" (--column " + key + "=" +
                               visible(choice_[f]) + "): name one by its letter, e.g. --column " + key + "=" +
                               columnName(found.front()->column));
                return;
            }
        }
        if (found.size() == 1) {
            chosen_[f] = true;
            noteOnce(file_.chosenColumns, found.front()->shown() + " as " + field);
        } else {
            for (const Column& c : columns)
                if (f == CHENGJI ? scoreLike(c.name) || (!fieldNamed(c.name) && scoreLike(c.group))
                                 : fieldNamed(c.name) == f)
                    found.push_back(&c);
            // Of several scores, the one named 成绩 (or chengji) itself.
            const auto plain = std::count_if(found.begin(), found.end(), [](const Column* c) {
                return headerName(c->name) == HEADER_NAMES[CHENGJI][1] || headerName(c->name) == HEADER_NAMES[CHENGJI][0];
            });
            if (f == CHENGJI && found.size() > 1 && plain == 1)
                found.erase(std::remove_if(found.begin(), found.end(), [](const Column* c) {
                                return headerName(c->name) != HEADER_NAMES[CHENGJI][1] &&
                                       headerName(c->name) != HEADER_NAMES[CHENGJI][0];
                            }),
                            found.end());
            if (found.empty()) {
                error(row, "the header has no column " + field + " (or " + key + ")" +
                               (f == CHENGJI ? "" : "; if it has another name, choose it with --column " + key + "=NAME"));
                return;
            }
            if (found.size() > 1) {
                std::string names;
                for (const Column* c : found)
                    names += (names.empty() ? "" : ", ") + c->shown();
                error(row, (f == CHENGJI ? "several columns could be the score (" + field + "): "
                                         : "several columns for " + field + ": ") +
                               names + choose);
                return;
            }
            if (f == CHENGJI && fieldNamed(found.front()->name) != CHENGJI)
                noteOnce(file_.chosenColumns, found.front()->shown() + " as " + field);
        }
        columns_[f] = found.front()->column;
    }

    static void noteOnce(std::vector<std::string>& list, const std::string& what)
    {
        if (std::find(list.begin(), list.end(), what) == list.end())
            list.push_back(what);
    }

    void ignore(const std::string& column) { noteOnce(file_.ignoredColumns, column); }

    void readRecord(const TableRow& row)
    {
        RosterRecord fields;
        std::fill(std::begin(numbers_), std::end(numbers_), false);
        bool any = false, padded = false;
        std::vector<std::string> unshown;  // cells that cannot be taken as the sheet shows them
        for (const Cell& cell : row.cells) {
            bool mapped = false;
            for (int f = 0; f < 5; ++f)
                if (columns_[f] == cell.column) {
                    fields.*ROSTER_FIELDS[f] = cell.text;
                    numbers_[f] = cell.number;
                    padded |= f == ZHUN && cell.formatted;
                    mapped = true;
                    if (!cell.problem.empty())
                        unshown.push_back("column " + columnName(cell.column) + " (" + toUtf8(HEADER_NAMES[f][1]) +
                                          "): " + cell.problem);
                    if (cell.formatUnknown && f != SHEN && unknown_[f].count++ == 0)
                        unknown_[f] = {row.row, 1};
                }
            any |= !cell.text.empty() || !cell.problem.empty();
            if (!mapped && !cell.text.empty() && !named_.count(cell.column))
                unnamed_.insert(cell.column);
        }
        if (!any) {
            emptyRows_.push_back(row.row);
            return;
        }
        for (const int empty : emptyRows_)
            warn(WarningKind::EmptyRow, empty, "an empty row is skipped");
        emptyRows_.clear();
        if (table_->separator && row.cells.size() != headerCells_ && !extraFieldsEmpty(row)) {
            error(row.row, "found " + std::to_string(row.cells.size()) + " fields where the header row has " +
                               std::to_string(headerCells_));
            return;
        }
        if (columnsMissing())
            return;
        if (file_.records.size() == maxRecords_) {
            if (!tooMany_)
                error(row.row, "more than " + std::to_string(maxRecords_) +
                                   " records: the roster can hold at most " + std::to_string(maxRecords_));
            tooMany_ = true;
            return;
        }
        if (!unshown.empty()) {
            for (auto& problem : unshown)
                error(row.row, std::move(problem));
            return;
        }
        // A number the sheet shows padded with zeros is taken as shown.
        if (numbers_[ZHUN] && !padded && allDigits(fields.zhun))
            changed("ticket numbers stored as numbers: taken as their digits", row.row);
        const std::size_t errors = problems_.size();
        normalize(fields.zhun, false, row.row);
        normalize(fields.shen, true, row.row);
        checkKey(fields.zhun, numbers_[ZHUN], false, row.row);
        checkKey(fields.shen, numbers_[SHEN], true, row.row);
        if (problems_.size() == errors)
            checkRepeats(fields, row.row);
        warnAboutRecord(fields, row.row);
        if (row.hidden)
            file_.hiddenRows.push_back(here(row.row));
        file_.records.push_back(std::move(fields));
        file_.rows.push_back(here(row.row));
    }

    // Numbers whose shown text the file does not tell (.xls): one refusal
    // for each column, at its first row.
    void formatUnknown(Field f)
    {
        const auto& [row, count] = unknown_[f];
        error(row, "the " + toUtf8(HEADER_NAMES[f][1]) + " in column " + columnName(*columns_[f]) + " is a number" +
                       (count > 1 ? ", and so are " + std::to_string(count - 1) + " more below," : "") +
                       " and an Excel 97-2003 workbook (.xls) does not tell how the sheet shows a number (78.5 may "
                       "show as 78.50 or 78.5分): save the workbook as an Excel workbook (.xlsx) and pack that");
    }

    bool columnsMissing() const
    {
        return std::any_of(std::begin(columns_), std::end(columns_), [](const auto& c) { return !c; });
    }

    // A text row may differ from the header in trailing empty fields only,
    // and reach at least the last column used.
    bool extraFieldsEmpty(const TableRow& row) const
    {
        std::size_t used = 0;
        for (const auto& column : columns_)
            used = std::max(used, column.value_or(0) + 1);
        if (row.cells.size() < used)
            return false;
        return std::all_of(row.cells.begin() + static_cast<std::ptrdiff_t>(std::min(headerCells_, row.cells.size())),
                           row.cells.end(), [](const Cell& cell) { return cell.text.empty(); });
    }

    void error(int row, std::string message) { problems_.push_back({row, std::move(message), sheet_}); }

    void warn(WarningKind kind, int row, std::string message)
    {
        file_.warnings.push_back({kind, row, std::move(message), sheet_});
    }

    void changed(const std::string& what, int row)
    {
        auto change = std::find_if(file_.changes.begin(), file_.changes.end(),
                                   [&](const RosterChange& c) { return c.what == what; });
        if (change == file_.changes.end())
            change = file_.changes.insert(file_.changes.end(), RosterChange{what, 0, {}});
        if (change->count++ < RosterChange::SHOWN)
            change->firstRows.push_back(here(row));
    }

    // Only what cannot change the meaning: ="…" unwrapped, full-width digits
    // and letters made ASCII, the final x of an identity number upper-case.
    void normalize(std::u16string& key, bool identity, int row)
    {
        const std::string what = identity ? "identity numbers" : "ticket numbers";
        if (key.size() >= 3 && key.starts_with(u"=\"") && key.ends_with(u'"') &&
            key.find(u'"', 2) == key.size() - 1) {
            key = key.substr(2, key.size() - 3);
            changed(what + " written as =\"…\": unwrapped", row);
        }
        if (std::any_of(key.begin(), key.end(), isFullWidthAlphanumeric)) {
            for (char16_t& c : key)
                if (isFullWidthAlphanumeric(c))
                    c = static_cast<char16_t>(c - 0xFF10 + u'0');
            changed(what + " in full-width characters: made ASCII", row);
        }
        if (identity && key.size() == 18 && key.back() == u'x' && checkCharacter(key)) {
            key.back() = u'X';
            changed("identity numbers ending in a lower-case x: X, as the card prints it", row);
        }
    }

    // A ticket or identity number the program can find: present, without
    // blanks, not turned into a number by Excel.
    void checkKey(const std::u16string& key, bool number, bool identity, int row)
    {
        const std::string what = identity ? "identity number (" + toUtf8(HEADER_NAMES[SHEN][1]) + ")"
                                          : "ticket number (" + toUtf8(HEADER_NAMES[ZHUN][1]) + ")";
        const std::string the = "the " + what + " \"" + shown(key, identity) + "\" ";
        const char* hint = ": format the column as text, type the numbers again, and save";
        if (key.empty()) {
            error(row, "the " + what + " is empty");
        } else if (const auto blank = std::find_if(key.begin(), key.end(), isBlank); blank != key.end()) {
            const char* where = blank == key.begin() ? "before" : blank + 1 == key.end() ? "after" : "inside";
            error(row, the + "has a blank (" + codePoint(*blank) + ") " + where + " it");
        } else if (number && (identity || !allDigits(key))) {
            error(row, the + "is stored as a number in the workbook, its digits already lost" + hint);
        } else if (scientific(key)) {
            error(row, the + "is a number in Excel's scientific notation, its digits lost" + hint);
        } else if (key.size() > 15 && allDigits(key) && key.find_first_not_of(u'0', 15) == std::u16string::npos &&
                   !(identity && checkCharacter(key) == key.back())) {
            error(row, the + "ends in zeros after its 15th digit, as Excel leaves a number it rounded" + hint);
        }
    }

    void checkRepeats(const RosterRecord& fields, int row)
    {
        for (auto [seen, field, identity] :
             {std::tuple{&tickets_, &fields.zhun, false}, std::tuple{&identities_, &fields.shen, true}})
            if (const auto [at, fresh] = seen->emplace(*field, here(row)); !fresh)
                error(row, std::string("the ") + (identity ? "identity" : "ticket") + " number " +
                               shown(*field, identity) + " repeats the one on " + rowsNamed({at->second}));
    }

    void warnAboutRecord(const RosterRecord& fields, int row)
    {
        const std::u16string& identity = fields.shen;
        const char16_t check = checkCharacter(identity);
        const std::string number = "the identity number " + maskIdentity(identity);
        if (identity.size() == 15 && allDigits(identity))
            warn(WarningKind::Identity, row, number + " has 15 digits, an old-style number; numbers now have 18");
        else if (!check || (!isDigit(identity.back()) && identity.back() != u'X'))
            warn(WarningKind::Identity, row, number + " is not 17 digits followed by a digit or X");
        else if (identity.back() != check)
            warn(WarningKind::Identity, row,
                 number + " fails its check (ISO 7064 MOD 11-2)");

        const std::u16string& name = fields.xing;
        for (std::size_t i = 0; i < name.size(); i += codePointAt(name, i) > 0xFFFF ? 2 : 1)
            if (const char32_t c = codePointAt(name, i); !isNameCharacter(c)) {
                const auto character = toUtf8(std::u16string_view(name).substr(i, c > 0xFFFF ? 2 : 1));
                warn(WarningKind::NotChinese, row, "the name has a character that is not Chinese: " +
                                                       (c < 0x20 || isBlank(static_cast<char16_t>(c))
                                                            ? codePoint(c)
                                                            : "\"" + character + "\" (" + codePoint(c) + ")"));
                break;
            }
        // FreeXL reads no formula: an empty cell of an .xls may be a computed
        // name or score, which would be stored as nothing.
        for (const auto& [field, what] : {std::pair{XING, "name"}, std::pair{CHENGJI, "score"}})
            if (table_->formulasUnread && trimmed(fields.*ROSTER_FIELDS[field]).empty())
                error(row, std::string("the ") + what + " in column " + columnName(*columns_[field]) +
                               " is empty, and an Excel 97-2003 workbook (.xls) does not show what a formula "
                               "computed: save the workbook as an Excel workbook (.xlsx) and pack that");
        if (name.empty())
            warn(WarningKind::EmptyName, row, "the name is empty");
        if (trimmed(fields.chengji).empty())
            warn(WarningKind::EmptyScore, row, "the score is empty");
        for (const auto& [field, what] : {std::pair{&fields.chengji, "score"}, std::pair{&fields.beizhu, "remark"}})
            if (!trimmed(*field).empty() && (isBlank(field->front()) || isBlank(field->back())))
                warn(WarningKind::Blanks, row, std::string("the ") + what + " has blanks around it");
    }

    // A ticket number of another length than most is likely one that lost a
    // leading zero, or a typing slip.
    void warnAboutTicketLengths()
    {
        std::map<std::size_t, std::size_t> counts;
        for (const auto& fields : file_.records)
            ++counts[fields.zhun.size()];
        const auto usual = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                               return a.second < b.second;
                           })->first;
        for (std::size_t k = 0; k < file_.records.size(); ++k)
            if (const auto length = file_.records[k].zhun.size(); length != usual)
                file_.warnings.push_back(
                    {WarningKind::TicketLength, file_.rows[k].row,
                     "the ticket number " + toUtf8(file_.records[k].zhun) + " has " + std::to_string(length) +
                         " characters where the others have " + std::to_string(usual) +
                         (length < usual ? " (a lost leading zero?)" : ""),
                     file_.rows[k].sheet});
    }

    struct Unknown {
        int row = 0;
        std::size_t count = 0;
    };

    std::vector<Table>& tables_;
    std::size_t maxRecords_;
    const ColumnChoice& choice_;
    const Table* table_ = nullptr;
    std::string sheet_;
    RosterFile file_;
    std::vector<RosterProblem> problems_;
    std::array<std::optional<std::size_t>, 5> columns_;
    bool numbers_[5] = {};
    std::array<Unknown, 5> unknown_;
    std::size_t headerCells_ = 0;
    std::vector<int> emptyRows_;  // warned about only when a record follows
    std::map<std::u16string, Place> tickets_, identities_;
    std::set<std::size_t> named_, unnamed_;  // columns with a header; those without one but with data
    bool tooMany_ = false;
    bool chosen_[5] = {};  // a column chosen with --column was found
};

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

std::string visible(std::u16string_view text)
{
    std::u16string shown;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\r' || text[i] == u'\n') {
            shown += u'\u23CE';
            i += text.substr(i, 2) == u"\r\n";
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

RosterFile readRoster(std::string_view bytes, Encoding encoding, std::size_t maxRecords, std::string_view sheet,
                      const ColumnChoice& columns)
{
    std::vector<Table> tables;
    if (isOpenDocument(bytes))
        tables = readOds(bytes, sheet);
    else if (isZip(bytes))
        tables = readWorkbook(bytes, sheet);
    else if (isCompoundFile(bytes))
        tables = readXls(bytes, sheet);
    else
        tables.push_back(readText(bytes, encoding, [](const Table& t) { return headerOf(t) != t.rows.end(); }));
    return Mapper(tables, maxRecords, columns).run();
}
