// Rows of cells into records: the header found and its columns mapped, keys
// normalized where the meaning is certain, every record checked, every
// problem collected before the file is refused.
#include "import/read.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "import/table.h"
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
    return identity ? maskIdentity(key) : toUtf8(key);
}

class Mapper {
public:
    Mapper(Table& table, std::size_t maxRecords) : table_(table), maxRecords_(maxRecords)
    {
        file_.format = table.format;
        file_.encodingNote = table.encodingNote;
        problems_ = table.problems;
    }

    RosterFile run()
    {
        const auto header = findHeader();
        if (header != table_.rows.end()) {
            mapColumns(*header);
            for (auto row = header + 1; row != table_.rows.end(); ++row)
                readRecord(*row);
            if (file_.records.empty() && problems_.empty())
                problems_.push_back({0, "the roster has no record"});
        }
        if (!problems_.empty()) {
            std::stable_sort(problems_.begin(), problems_.end(),
                             [](const RosterProblem& a, const RosterProblem& b) { return a.row < b.row; });
            throw ImportError(std::move(problems_));
        }
        for (const std::size_t column : unnamed_)  // without a header but with data: named too
            file_.ignoredColumns.push_back("without a header (" + columnName(column) + ")");
        warnAboutTicketLengths();
        std::stable_sort(file_.warnings.begin(), file_.warnings.end(), [](const auto& a, const auto& b) {
            return std::tie(a.kind, a.row) < std::tie(b.kind, b.row);
        });
        return std::move(file_);
    }

private:
    using Row = std::vector<TableRow>::const_iterator;

    static std::optional<Field> fieldNamed(std::u16string_view name)
    {
        for (int f = 0; f < 5; ++f)
            if (!trimmed(name).empty() &&
                std::find(std::begin(HEADER_NAMES[f]), std::end(HEADER_NAMES[f]), trimmed(name)) != std::end(HEADER_NAMES[f]))
                return static_cast<Field>(f);
        return std::nullopt;
    }

    // The first row within the first rows that names the ticket and the
    // identity column.
    Row findHeader()
    {
        for (auto row = table_.rows.cbegin(); row != table_.rows.cend() && row->row <= HEADER_SEARCH_ROWS; ++row) {
            bool ticket = false, identity = false;
            for (const Cell& cell : row->cells) {
                ticket |= fieldNamed(cell.text) == ZHUN;
                identity |= fieldNamed(cell.text) == SHEN;
            }
            if (ticket && identity) {
                file_.headerRow = row->row;
                return row;
            }
        }
        if (table_.rows.empty()) {
            problems_.push_back({1, "the file is empty; it must hold a header row and the records"});
            return table_.rows.end();
        }
        std::string looked;
        for (const auto& names : HEADER_NAMES)
            looked += (looked.empty() ? "" : ", ") + toUtf8(names[1]) + " (or " + toUtf8(names[0]) + ")";
        problems_.push_back({table_.rows.front().row,
                             "no header row in the first " + std::to_string(HEADER_SEARCH_ROWS) +
                                 " rows: looked for a row with the columns " + looked + "; the first row reads " +
                                 firstRowShown()});
        return table_.rows.end();
    }

    // The first row as it stands, separators and blanks made visible, long
    // digit runs (identity numbers) masked.
    std::string firstRowShown() const
    {
        std::u16string text;
        for (const Cell& cell : table_.rows.front().cells) {
            if (&cell != &table_.rows.front().cells.front())
                text += table_.separator == u'\t' ? u"<TAB>" : table_.separator == u',' ? u"," : u" | ";
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
                shown += toUtf8(std::u16string_view(text).substr(i, length)), i += length;
            }
        }
        return "\"" + shown + (i < text.size() ? "…" : "") + "\"";
    }

    void mapColumns(const TableRow& header)
    {
        headerCells_ = header.cells.size();
        for (const Cell& cell : header.cells) {
            const auto field = fieldNamed(cell.text);
            const std::string name = toUtf8(trimmed(cell.text)) + " (" + columnName(cell.column) + ")";
            if (!field) {
                if (!trimmed(cell.text).empty()) {
                    file_.ignoredColumns.push_back(name);
                    named_.insert(cell.column);
                }
                continue;
            }
            named_.insert(cell.column);
            if (columns_[*field]) {
                problems_.push_back({header.row, "two columns for " + toUtf8(HEADER_NAMES[*field][1]) + ": " +
                                                     columnName(*columns_[*field]) + " and " + name});
                continue;
            }
            columns_[*field] = cell.column;
        }
        for (int f = 0; f < 5; ++f)
            if (!columns_[f])
                problems_.push_back({header.row, "the header has no column " + toUtf8(HEADER_NAMES[f][1]) + " (or " +
                                                     toUtf8(HEADER_NAMES[f][0]) + ")"});
    }

    void readRecord(const TableRow& row)
    {
        RosterFields fields;
        std::fill(std::begin(numbers_), std::end(numbers_), false);
        bool any = false;
        for (const Cell& cell : row.cells) {
            bool mapped = false;
            for (int f = 0; f < 5; ++f)
                if (columns_[f] == cell.column) {
                    fields[f] = cell.text;
                    numbers_[f] = cell.number;
                    mapped = true;
                }
            any |= !cell.text.empty();
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
        if (table_.separator && row.cells.size() != headerCells_ && !extraFieldsEmpty(row)) {
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
        if (numbers_[ZHUN] && allDigits(fields[ZHUN]))
            changed("ticket numbers stored as numbers: taken as their digits", row.row);
        const std::size_t errors = problems_.size();
        normalize(fields[ZHUN], false, row.row);
        normalize(fields[SHEN], true, row.row);
        checkKey(fields[ZHUN], numbers_[ZHUN], false, row.row);
        checkKey(fields[SHEN], numbers_[SHEN], true, row.row);
        if (problems_.size() == errors)
            checkRepeats(fields, row.row);
        warnAboutRecord(fields, row.row);
        file_.records.push_back(std::move(fields));
        file_.rows.push_back(row.row);
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

    void error(int row, std::string message) { problems_.push_back({row, std::move(message)}); }

    void warn(WarningKind kind, int row, std::string message)
    {
        file_.warnings.push_back({kind, row, std::move(message)});
    }

    void changed(const std::string& what, int row)
    {
        auto change = std::find_if(file_.changes.begin(), file_.changes.end(),
                                   [&](const RosterChange& c) { return c.what == what; });
        if (change == file_.changes.end())
            change = file_.changes.insert(file_.changes.end(), RosterChange{what, 0, {}});
        if (change->count++ < RosterChange::SHOWN)
            change->firstRows.push_back(row);
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

    void checkRepeats(const RosterFields& fields, int row)
    {
        for (auto [seen, field, identity] :
             {std::tuple{&tickets_, &fields[ZHUN], false}, std::tuple{&identities_, &fields[SHEN], true}})
            if (const auto [at, fresh] = seen->emplace(*field, row); !fresh)
                error(row, std::string("the ") + (identity ? "identity" : "ticket") + " number " +
                               shown(*field, identity) + " repeats the one on row " + std::to_string(at->second));
    }

    void warnAboutRecord(const RosterFields& fields, int row)
    {
        const std::u16string& identity = fields[SHEN];
        const char16_t check = checkCharacter(identity);
        const std::string number = "the identity number " + maskIdentity(identity);
        if (identity.size() == 15 && allDigits(identity))
            warn(WarningKind::Identity, row, number + " has 15 digits, an old-style number; numbers now have 18");
        else if (!check || (!isDigit(identity.back()) && identity.back() != u'X'))
            warn(WarningKind::Identity, row, number + " is not 17 digits followed by a digit or X");
        else if (identity.back() != check)
            warn(WarningKind::Identity, row,
                 number + " fails its check (ISO 7064 MOD 11-2)");

        const std::u16string& name = fields[XING];
        for (std::size_t i = 0; i < name.size(); i += codePointAt(name, i) > 0xFFFF ? 2 : 1)
            if (const char32_t c = codePointAt(name, i); !isNameCharacter(c)) {
                const auto character = toUtf8(std::u16string_view(name).substr(i, c > 0xFFFF ? 2 : 1));
                warn(WarningKind::NotChinese, row, "the name has a character that is not Chinese: " +
                                                       (c < 0x20 || isBlank(static_cast<char16_t>(c))
                                                            ? codePoint(c)
                                                            : "\"" + character + "\" (" + codePoint(c) + ")"));
                break;
            }
        if (name.empty())
            warn(WarningKind::EmptyName, row, "the name is empty");
        if (trimmed(fields[CHENGJI]).empty())
            warn(WarningKind::EmptyScore, row, "the score is empty");
        for (const auto& [field, what] : {std::pair{&fields[CHENGJI], "score"}, std::pair{&fields[BEIZHU], "remark"}})
            if (!trimmed(*field).empty() && (isBlank(field->front()) || isBlank(field->back())))
                warn(WarningKind::Blanks, row, std::string("the ") + what + " has blanks around it");
    }

    // A ticket number of another length than most is likely one that lost a
    // leading zero, or a typing slip.
    void warnAboutTicketLengths()
    {
        std::map<std::size_t, std::size_t> counts;
        for (const auto& fields : file_.records)
            ++counts[fields[ZHUN].size()];
        const auto usual = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                               return a.second < b.second;
                           })->first;
        for (std::size_t k = 0; k < file_.records.size(); ++k)
            if (const auto length = file_.records[k][ZHUN].size(); length != usual)
                warn(WarningKind::TicketLength, file_.rows[k],
                     "the ticket number " + toUtf8(file_.records[k][ZHUN]) + " has " + std::to_string(length) +
                         " characters where the others have " + std::to_string(usual) +
                         (length < usual ? " (a lost leading zero?)" : ""));
    }

    Table& table_;
    std::size_t maxRecords_;
    RosterFile file_;
    std::vector<RosterProblem> problems_;
    std::optional<std::size_t> columns_[5];
    bool numbers_[5] = {};
    std::size_t headerCells_ = 0;
    std::vector<int> emptyRows_;  // warned about only when a record follows
    std::map<std::u16string, int> tickets_, identities_;
    std::set<std::size_t> named_, unnamed_;  // columns with a header; those without one but with data
    bool tooMany_ = false;
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

RosterFile readRoster(std::string_view bytes, Encoding encoding, std::size_t maxRecords, std::string_view sheet)
{
    if (isCompoundFile(bytes))
        throw ImportError(0, "an Excel 97-2003 workbook (.xls), a WPS workbook (.et) or a workbook with a password: "
                             "save it as an Excel workbook (.xlsx) or as Unicode text (.txt)");
    Table table = isZip(bytes) ? readWorkbook(bytes, sheet) : readText(bytes, encoding);
    return Mapper(table, maxRecords).run();
}
