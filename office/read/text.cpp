// Text files into rows of fields: the encoding decoded (or detected), then
// the text cut at separators and line ends, with Excel's quoting.
#include <algorithm>
#include <cstdio>

#include "office/read/table.h"
#include "office/read/gb18030.h"
#include "roster/utf.h"

namespace {

// Cuts the text into rows of fields. A field that starts with a quote runs to
// the closing quote, with "" for a quote inside; lines end in LF or CRLF. A
// line break inside quotes stays in its row, as in the spreadsheet.
class Splitter {
public:
    Splitter(std::u16string_view text, char16_t separator, Table& table)
        : text_(text), separator_(separator), table_(table)
    {
    }

    void run()
    {
        while (at_ < text_.size() && !stopped_) {
            TableRow row{row_, {}};
            for (;;) {
                const bool quoted = text_[at_] == u'"';
                row.cells.push_back({row.cells.size(), quoted ? quotedField() : plainField()});
                if (at_ == text_.size() || stopped_)
                    break;
                if (text_[at_] == separator_) {
                    ++at_;
                    if (at_ == text_.size())
                        row.cells.push_back({row.cells.size(), {}});
                    else
                        continue;
                    break;
                }
                at_ += text_.compare(at_, 2, u"\r\n") == 0 ? 2 : 1;  // the line end
                break;
            }
            table_.rows.push_back(std::move(row));
            ++row_;
        }
    }

private:
    bool lineEndAt(std::size_t i) const
    {
        return text_[i] == u'\n' || (text_[i] == u'\r' && (i + 1 == text_.size() || text_[i + 1] == u'\n'));
    }

    void problem(std::string message) { table_.problems.push_back({row_, std::move(message)}); }

    std::u16string plainField()
    {
        const auto start = at_;
        for (; at_ < text_.size() && text_[at_] != separator_ && !lineEndAt(at_); ++at_)
            if (text_[at_] == u'\r')
                problem("a carriage return (CR) stands inside the line; lines must end in LF or CRLF");
        return std::u16string(text_.substr(start, at_ - start));
    }

    std::u16string quotedField()
    {
        std::u16string field;
        for (++at_;; ++at_) {
            if (at_ == text_.size()) {
                problem("a quoted field is never closed: the closing quote (\") is missing");
                stopped_ = true;
                return field;
            }
            if (text_[at_] == u'"' && (at_ + 1 == text_.size() || text_[at_ + 1] != u'"'))
                break;
            if (text_[at_] == u'"')
                ++at_;  // "" stands for one quote
            field += text_[at_];
        }
        if (++at_ < text_.size() && text_[at_] != separator_ && !lineEndAt(at_)) {
            problem("text follows the closing quote of a quoted field; write a quote inside a quoted field twice "
                    "(\"\")");
            field += plainField();
        }
        return field;
    }

    std::u16string_view text_;
    char16_t separator_;
    Table& table_;
    std::size_t at_ = 0;
    int row_ = 1;
    bool stopped_ = false;
};

constexpr char16_t SEPARATORS[] = {u'\t', u',', u';'};

// Where no header row tells, the first line that holds a separator decides,
// the first of tab, comma and semicolon it holds. Title rows above the header
// may hold none.
char16_t separatorOf(std::u16string_view text)
{
    for (std::size_t start = 0; start < text.size();) {
        const auto end = std::min(text.find(u'\n', start), text.size());
        const auto line = text.substr(start, end - start);
        for (const char16_t separator : SEPARATORS)
            if (line.find(separator) != std::u16string_view::npos)
                return separator;
        start = end + 1;
    }
    return u',';
}

Table split(std::u16string_view text, char16_t separator)
{
    Table table;
    table.separator = separator;
    Splitter(text, separator, table).run();
    return table;
}

const char* encodingName(Encoding encoding)
{
    return encoding == Encoding::Utf16le ? "UTF-16LE" : encoding == Encoding::Gb18030 ? "GB18030" : "UTF-8";
}

// A refusal at the cell where `before` (the text up to a bad byte) ends.
[[noreturn]] void badText(std::u16string before, const std::string& problem, const std::string& advice = "")
{
    before += u'\uFFFD';  // stands for the bad byte, so that it lands in its cell
    const Table table = split(before, separatorOf(before));
    const TableRow& row = table.rows.back();
    throw ImportError(row.row, problem + " in column " + columnName(row.cells.back().column) + advice);
}

std::string hexByte(char byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned char>(byte));
    return text;
}

std::u16string fromUtf16le(std::string_view bytes)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (bytes.size() % 2)
        badText(text, "half a UTF-16 character (the file has an odd number of bytes)");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || (text[i] >= 0xDC00 && text[i] <= 0xDFFF)) {
            char unit[16];
            std::snprintf(unit, sizeof unit, "U+%04X", static_cast<unsigned>(text[i]));
            badText(text.substr(0, i), std::string("not valid UTF-16: an unpaired surrogate (") + unit + ")");
        }
    }
    return text;
}

// GB18030, decoded line by line so that a refusal can find its place: no
// GB18030 character holds the byte of LF.
std::u16string fromGb18030Text(std::string_view bytes, const std::string& problem)
{
    std::u16string text;
    for (std::size_t start = 0; start <= bytes.size();) {
        const auto end = std::min(bytes.find('\n', start), bytes.size());
        const auto line = bytes.substr(start, end - start);
        const auto part = fromGb18030(line);
        if (!part) {
            // The first character of the line that is not GB18030: one byte
            // below 0x80, four when the second is a digit, else two.
            std::size_t at = 0, length = 1;
            for (; at < line.size(); at += length) {
                const auto lead = static_cast<unsigned char>(line[at]);
                length = lead < 0x80 ? 1 : at + 1 < line.size() && line[at + 1] >= '0' && line[at + 1] <= '9' ? 4 : 2;
                if (!fromGb18030(line.substr(at, length)))
                    break;
            }
            at = std::min(at, line.size() - 1);
            badText(text + fromGb18030(line.substr(0, at)).value_or(u""), problem + ": byte " + hexByte(line[at]),
                    ": save the roster as UTF-8 text");
        }
        text += *part;
        if (end < bytes.size())
            text += u'\n';
        start = end + 1;
    }
    return text;
}

// Valid UTF-8, or a refusal at the first bad byte.
std::u16string fromUtf8Text(std::string_view bytes)
{
    std::size_t bad = 0;
    if (auto text = fromUtf8(bytes, &bad))
        return std::move(*text);
    badText(*fromUtf8(bytes.substr(0, bad)), "not valid UTF-8: byte " + hexByte(bytes[bad]),
            ": save the roster as UTF-8 text");
}

// A file that is not valid UTF-8 but was written as UTF-8 nonetheless: its
// text before the first bad byte holds characters beyond ASCII in UTF-8, four
// or more, which GB18030 text almost never does by chance.
bool utf8WithABadByte(std::string_view bytes)
{
    std::size_t bad = 0;
    fromUtf8(bytes, &bad);
    const auto before = bytes.substr(0, bad);
    return std::count_if(before.begin(), before.end(), [](char c) { return (c & 0xC0) == 0xC0; }) >= 4;
}

}  // namespace

bool isZip(std::string_view bytes) { return bytes.starts_with("PK\x03\x04"); }

bool isCompoundFile(std::string_view bytes) { return bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"); }

std::string columnName(std::size_t column)
{
    std::string name;
    for (++column; column; column = (column - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
    return name;
}

ImportError columnsExceeded(int row, std::size_t column)
{
    return ImportError(row, "a cell in column " + columnName(column) + " holds a value; a roster uses at most " +
                                std::to_string(MAX_COLUMNS) + " columns");
}

Table readText(std::string_view bytes, Encoding encoding, const std::function<bool(const Table&)>& hasHeader)
{
    std::string note;
    if (encoding == Encoding::Detect) {
        if (bytes.starts_with("\xFF\xFE"))
            encoding = Encoding::Utf16le;
        else if (bytes.starts_with("\xEF\xBB\xBF") || fromUtf8(bytes) || utf8WithABadByte(bytes))
            encoding = Encoding::Utf8;
        else
            encoding = Encoding::Gb18030,
            note = "no byte-order mark and not UTF-8: read as GB18030 (use --encoding to choose)";
    }
    std::u16string text;
    if (encoding == Encoding::Utf8)
        text = fromUtf8Text(bytes);
    else if (encoding == Encoding::Utf16le)
        text = fromUtf16le(bytes);
    else
        text = fromGb18030Text(bytes, note.empty() ? "not valid GB18030 text" : "neither UTF-8 nor GB18030 text");
    if (text.starts_with(u'\uFEFF'))
        text.erase(0, 1);

    Table table;
    bool found = false;
    for (const char16_t separator : SEPARATORS)
        if ((table = split(text, separator), found = hasHeader(table)))
            break;
    if (!found)
        table = split(text, separatorOf(text));
    table.encodingNote = note;
    table.format = table.separator == u'\t' ? std::string(encodingName(encoding)) + " tab-separated" +
                                                  (encoding == Encoding::Utf16le ? " (Excel Unicode text)" : "")
                                            : std::string("CSV, ") + encodingName(encoding) + ", separated by " +
                                                  (table.separator == u',' ? "commas" : "semicolons");
    return table;
}
