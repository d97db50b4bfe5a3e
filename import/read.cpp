#include "import/read.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "roster/utf.h"

namespace {

// Characters that show as nothing or as white space.
bool isBlank(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool allDigits(std::u16string_view text) { return std::all_of(text.begin(), text.end(), isDigit); }

std::string codePoint(char16_t c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

std::string quoted(std::u16string_view text) { return "\"" + toUtf8(text) + "\""; }

// Line (from 1) and column (from 1) of text[at].
template <typename Char>
std::pair<int, std::size_t> position(std::basic_string_view<Char> text, std::size_t at)
{
    const auto lineStart = at == 0 ? std::basic_string_view<Char>::npos : text.rfind(Char('\n'), at - 1);
    return {1 + static_cast<int>(std::count(text.begin(), text.begin() + at, Char('\n'))),
            at - (lineStart == std::basic_string_view<Char>::npos ? 0 : lineStart + 1) + 1};
}

const char* encodingName(Encoding encoding)
{
    return encoding == Encoding::Utf16le ? "UTF-16LE" : encoding == Encoding::Gb18030 ? "GB18030" : "UTF-8";
}

// The file's text in UTF-16, without a byte-order mark.
std::u16string decode(std::string_view bytes, Encoding encoding, bool guessed)
{
    std::u16string text;
    if (encoding == Encoding::Utf8) {
        std::size_t bad = 0;
        auto decoded = fromUtf8(bytes, &bad);
        if (!decoded) {
            const auto [line, column] = position(bytes, bad);
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(bytes[bad]));
            throw ImportError(line, std::string("not valid UTF-8 (byte ") + byte + " at column " +
                                        std::to_string(column) + "): save the roster as UTF-8 text");
        }
        text = std::move(*decoded);
    } else if (encoding == Encoding::Utf16le) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (bytes.size() % 2)
            throw ImportError(position(std::u16string_view(text), text.size()).first,
                              "the file ends in half a UTF-16 character (an odd number of bytes)");
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
            if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                ++i;
            } else if (high || (text[i] >= 0xDC00 && text[i] <= 0xDFFF)) {
                const auto [line, column] = position(std::u16string_view(text), i);
                throw ImportError(line, "not valid UTF-16: an unpaired surrogate (" + codePoint(text[i]) +
                                            ") at column " + std::to_string(column));
            }
        }
    } else {
        // Line by line, so that the refusal can name the line: a GB18030
        // character never holds the byte of LF.
        int line = 1;
        for (std::size_t start = 0; start <= bytes.size(); ++line) {
            const auto end = std::min(bytes.find('\n', start), bytes.size());
            const auto part = fromGb18030(bytes.substr(start, end - start));
            if (!part)
                throw ImportError(line, guessed ? "neither UTF-8 nor GB18030 text: save the roster as UTF-8 text"
                                                : "not valid GB18030 text: save the roster as UTF-8 text");
            text += *part;
            if (end < bytes.size())
                text += u'\n';
            start = end + 1;
        }
    }
    if (!text.empty() && text.front() == u'\uFEFF')
        text.erase(0, 1);
    return text;
}

struct Row {
    int line;  // where the row starts
    std::vector<std::u16string> fields;
};

// Cuts the text into rows of fields. A field that starts with a quote runs to
// the closing quote, with "" for a quote inside; lines end in LF or CRLF.
class RowReader {
public:
    RowReader(std::u16string_view text, char16_t separator) : text_(text), separator_(separator) {}

    std::optional<Row> next()
    {
        if (at_ == text_.size())
            return std::nullopt;
        Row row{line_, {}};
        for (;;) {
            row.fields.push_back(at_ < text_.size() && text_[at_] == u'"' ? quotedField() : plainField());
            if (at_ == text_.size())
                return row;
            if (text_[at_] == separator_) {
                ++at_;
                continue;
            }
            at_ += text_.compare(at_, 2, u"\r\n") == 0 ? 2 : 1;  // the line end
            ++line_;
            return row;
        }
    }

private:
    bool lineEndAt(std::size_t i) const
    {
        return text_[i] == u'\n' || (text_[i] == u'\r' && (i + 1 == text_.size() || text_[i + 1] == u'\n'));
    }

    std::u16string plainField()
    {
        const auto start = at_;
        for (; at_ < text_.size() && text_[at_] != separator_ && !lineEndAt(at_); ++at_)
            if (text_[at_] == u'\r')
                throw ImportError(line_, "a carriage return (CR) stands inside the line; lines must end in LF or CRLF");
        return std::u16string(text_.substr(start, at_ - start));
    }

    std::u16string quotedField()
    {
        const int opened = line_;
        std::u16string field;
        for (++at_;; ++at_) {
            if (at_ == text_.size())
                throw ImportError(opened, "a quoted field is never closed: the closing quote (\") is missing");
            if (text_[at_] == u'"' && (at_ + 1 == text_.size() || text_[at_ + 1] != u'"'))
                break;
            if (text_[at_] == u'"')
                ++at_;  // "" stands for one quote
            else if (text_[at_] == u'\n')
                ++line_;
            field += text_[at_];
        }
        if (++at_ < text_.size() && text_[at_] != separator_ && !lineEndAt(at_))
            throw ImportError(line_, "text follows the closing quote of a quoted field; write a quote inside "
                                     "a quoted field twice (\"\")");
        return field;
    }

    std::u16string_view text_;
    char16_t separator_;
    std::size_t at_ = 0;
    int line_ = 1;
};

constexpr std::u16string_view HEADERS[2][5] = {{u"zhun", u"shen", u"xing", u"chengji", u"beizhu"},
                                             {u"准考证号", u"身份证号", u"姓名", u"成绩", u"备注"}};

void checkHeader(const Row& header, std::u16string_view text, char16_t separator)
{
    for (const auto& names : HEADERS)
        if (std::equal(header.fields.begin(), header.fields.end(), std::begin(names), std::end(names)))
            return;
    const std::string sep = separator == u'\t' ? "<TAB>" : ",";
    std::string expected[2];
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 5; ++i)
            expected[k] += (i ? sep : "") + toUtf8(HEADERS[k][i]);
    auto found = text.substr(0, std::min(text.find_first_of(u"\r\n"), std::size_t(80)));
    throw ImportError(1, "the header must be \"" + expected[0] + "\" or \"" + expected[1] + "\", found " +
                             quoted(found) + (found.size() == 80 ? "…" : ""));
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

// A ticket or identity number the program can find: present, without blanks,
// not turned into a number by Excel.
void checkKey(const std::u16string& field, const char* what, bool identity, int line)
{
    if (field.empty())
        throw ImportError(line, std::string("the ") + what + " is empty");
    if (const auto blank = std::find_if(field.begin(), field.end(), isBlank); blank != field.end()) {
        const char* where = blank == field.begin() ? "before" : blank + 1 == field.end() ? "after" : "inside";
        throw ImportError(line, std::string("the ") + what + " " + quoted(field) + " has a blank (" +
                                    codePoint(*blank) + ") " + where + " it");
    }
    const char* hint = ": format the column as text in Excel before saving";
    if (scientific(field))
        throw ImportError(line, std::string("the ") + what + " " + quoted(field) +
                                    " is a number in Excel's scientific notation, its digits lost" + hint);
    const bool rounded = field.size() > 15 && allDigits(field) &&
                         field.find_first_not_of(u'0', 15) == std::u16string::npos &&
                         !(identity && checkCharacter(field) == field.back());
    if (rounded)
        throw ImportError(line, std::string("the ") + what + " " + quoted(field) +
                                    " ends in zeros after its 15th digit, as Excel leaves a number it rounded" + hint);
}

// CJK Unified Ideographs, Extension A, and the middle dot of minority names.
bool isNameCharacter(char16_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || c == 0x00B7;
}

void warnAboutRecord(const RosterFields& fields, int line, std::vector<RosterWarning>& warnings)
{
    const auto warn = [&](std::string message) { warnings.push_back({line, std::move(message)}); };
    const std::u16string& identity = fields[1];
    const char16_t check = checkCharacter(identity);
    const std::string number = "the identity number " + toUtf8(identity);
    if (check && identity.back() == u'x')
        warn(number + " ends in a lower-case x; the check character is an upper-case X");
    else if (identity.size() == 15 && allDigits(identity))
        warn(number + " has 15 digits, an old-style number; numbers now have 18");
    else if (!check || (!isDigit(identity.back()) && identity.back() != u'X'))
        warn("the identity number " + quoted(identity) + " is not 17 digits followed by a digit or X");
    else if (identity.back() != check)
        warn(number + " fails its check (ISO 7064 MOD 11-2): the last character should be " +
             toUtf8(std::u16string(1, check)));

    const std::u16string& name = fields[2];
    if (const auto other = std::find_if_not(name.begin(), name.end(), isNameCharacter); other != name.end())
        warn("the name " + quoted(name) + " has a character that is not Chinese (" + codePoint(*other) + ")");
    else if (name.empty())
        warn("the name is empty");

    for (const auto& [field, what] : {std::pair{&fields[3], "score"}, std::pair{&fields[4], "remark"}})
        if (!field->empty() && (isBlank(field->front()) || isBlank(field->back())))
            warn(std::string("the ") + what + " " + quoted(*field) + " has blanks around it");
}

// A ticket number of another length than most is likely one that lost a
// leading zero, or a typing slip.
void warnAboutTicketLengths(const RosterFile& file, std::vector<RosterWarning>& warnings)
{
    std::map<std::size_t, std::size_t> counts;
    for (const auto& fields : file.records)
        ++counts[fields[0].size()];
    const auto usual = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                           return a.second < b.second;
                       })->first;
    for (std::size_t k = 0; k < file.records.size(); ++k)
        if (const auto length = file.records[k][0].size(); length != usual)
            warnings.push_back({file.lines[k], "the ticket number " + toUtf8(file.records[k][0]) + " has " +
                                                   std::to_string(length) + " characters where the others have " +
                                                   std::to_string(usual) +
                                                   (length < usual ? " (a lost leading zero?)" : "")});
}

}  // namespace

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

RosterFile readRoster(std::string_view bytes, Encoding encoding, std::size_t maxRecords)
{
    RosterFile file;
    if (encoding == Encoding::Detect) {
        if (bytes.substr(0, 2) == "\xFF\xFE")
            encoding = Encoding::Utf16le;
        else if (bytes.substr(0, 3) == "\xEF\xBB\xBF" || fromUtf8(bytes))
            encoding = Encoding::Utf8;
        else
            encoding = Encoding::Gb18030,
            file.encodingNote = "no byte-order mark and not UTF-8: read as GB18030 (use --encoding to choose)";
    }
    const std::u16string text = decode(bytes, encoding, !file.encodingNote.empty());

    // The header line decides the separator: a tab in it makes the file tab-separated.
    const char16_t separator = text.substr(0, text.find(u'\n')).find(u'\t') != std::u16string::npos ? u'\t' : u',';
    file.format = separator == u'\t' ? std::string(encodingName(encoding)) + " tab-separated" +
                                           (encoding == Encoding::Utf16le ? " (Excel Unicode text)" : "")
                                     : std::string("CSV, ") + encodingName(encoding);

    RowReader reader(text, separator);
    const auto header = reader.next();
    if (!header)
        throw ImportError(1, "the file is empty; it must start with the header line");
    checkHeader(*header, text, separator);

    std::vector<int> emptyRows;  // warned about only when a record follows
    std::map<std::u16string, int> ticketLines, identityLines;
    while (auto row = reader.next()) {
        const int line = row->line;
        if (std::all_of(row->fields.begin(), row->fields.end(), [](const auto& f) { return f.empty(); })) {
            emptyRows.push_back(line);
            continue;
        }
        for (const int empty : emptyRows)
            file.warnings.push_back({empty, "an empty row is skipped"});
        emptyRows.clear();
        if (file.records.size() == maxRecords)
            throw ImportError(line, "more than " + std::to_string(maxRecords) +
                                        " records: the roster can hold at most " + std::to_string(maxRecords));
        if (row->fields.size() != 5)
            throw ImportError(line, std::string("expected 5 ") + (separator == u'\t' ? "tab" : "comma") +
                                        "-separated fields (zhun, shen, xing, chengji, beizhu), found " +
                                        std::to_string(row->fields.size()));
        RosterFields fields;
        std::move(row->fields.begin(), row->fields.end(), fields.begin());
        checkKey(fields[0], "ticket number (zhun)", false, line);
        checkKey(fields[1], "identity number (shen)", true, line);
        for (auto [lines, field, what] : {std::tuple{&ticketLines, &fields[0], "ticket"},
                                          std::tuple{&identityLines, &fields[1], "identity"}})
            if (const auto [at, fresh] = lines->emplace(*field, line); !fresh)
                throw ImportError(line, std::string("the ") + what + " number " + toUtf8(*field) +
                                            " repeats the one on line " + std::to_string(at->second));
        warnAboutRecord(fields, line, file.warnings);
        file.records.push_back(std::move(fields));
        file.lines.push_back(line);
    }
    if (file.records.empty())
        throw ImportError(0, "the roster has no record");
    warnAboutTicketLengths(file, file.warnings);
    std::stable_sort(file.warnings.begin(), file.warnings.end(),
                     [](const RosterWarning& a, const RosterWarning& b) { return a.line < b.line; });
    return file;
}
