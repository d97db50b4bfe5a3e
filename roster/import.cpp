#include "roster/import.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

// Decodes UTF-8 strictly (no overlong forms, no surrogates, nothing above
// U+10FFFF) into UTF-16. Returns the offset of the first bad byte, or npos.
std::size_t decodeUtf8(std::string_view in, std::u16string& out)
{
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        int length = b0 < 0x80 ? 1 : b0 >= 0xC2 && b0 <= 0xDF ? 2 : b0 >= 0xE0 && b0 <= 0xEF ? 3
                                : b0 >= 0xF0 && b0 <= 0xF4                               ? 4
                                                                                         : 0;
        if (length == 0 || i + length > in.size())
            return i;
        char32_t cp = length == 1 ? b0 : b0 & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(in[i + k]);
            if ((b & 0xC0) != 0x80)
                return i;
            cp = (cp << 6) | (b & 0x3F);
        }
        const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
        if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return i;
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
        i += length;
    }
    return std::string_view::npos;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size())
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Characters that show as nothing or as white space.
bool isBlank(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

std::string codePoint(char16_t c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

// An identifying field must be non-empty and carry nothing around it.
void checkKey(const std::u16string& field, const char* what, int line)
{
    if (field.empty())
        throw ImportError(line, std::string("the ") + what + " is empty");
    const char* end = isBlank(field.front()) ? "before" : isBlank(field.back()) ? "after" : nullptr;
    if (end) {
        const char16_t blank = *end == 'b' ? field.front() : field.back();
        throw ImportError(line, std::string("the ") + what + " \"" + toUtf8(field) + "\" has a blank (" +
                                    codePoint(blank) + ") " + end + " it");
    }
}

}  // namespace

std::vector<RosterFields> importRoster(std::string_view bytes, int rows)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);

    std::u16string text;
    if (const auto bad = decodeUtf8(bytes, text); bad != std::string_view::npos) {
        const auto lineStart = bytes.rfind('\n', bad);
        const int line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + bad, '\n'));
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(bytes[bad]));
        throw ImportError(line, std::string("not valid UTF-8 (byte ") + byte + " at column " +
                                    std::to_string(bad - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1) +
                                    "): save the roster as UTF-8 text");
    }

    // Lines end in LF or CRLF; a final line end closes the last record.
    std::vector<std::u16string_view> lines;
    for (std::u16string_view rest = text; !rest.empty();) {
        const auto end = rest.find(u'\n');
        std::u16string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
        if (line.find(u'\r') != std::u16string_view::npos)
            throw ImportError(static_cast<int>(lines.size()) + 1,
                              "a carriage return (CR) stands inside the line; lines must end in LF or CRLF");
        lines.push_back(line);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    }

    const std::u16string header(ROSTER_HEADER.begin(), ROSTER_HEADER.end());
    if (lines.empty())
        throw ImportError(1, "the file is empty; it must start with the header line");
    if (lines[0] != header)
        throw ImportError(1, "the header must be \"zhun<TAB>shen<TAB>xing<TAB>chengji<TAB>beizhu\", found \"" +
                                 toUtf8(lines[0]) + "\"");

    std::vector<RosterFields> records;
    std::map<std::u16string, int> ticketLines;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int line = static_cast<int>(i) + 1;
        if (static_cast<int>(records.size()) == rows)
            throw ImportError(line, "more than " + std::to_string(rows) + " records: the roster must have exactly " +
                                        std::to_string(rows));
        RosterFields fields;
        std::size_t count = 0;
        for (std::u16string_view rest = lines[i];; ++count) {
            const auto tab = rest.find(u'\t');
            if (count < fields.size())
                fields[count] = rest.substr(0, tab);
            if (tab == std::u16string_view::npos)
                break;
            rest.remove_prefix(tab + 1);
        }
        if (++count != fields.size())
            throw ImportError(line, "expected 5 tab-separated fields (zhun, shen, xing, chengji, beizhu), found " +
                                        std::to_string(count));
        checkKey(fields[0], "ticket number (zhun)", line);
        checkKey(fields[1], "identity number (shen)", line);
        if (const auto [at, fresh] = ticketLines.emplace(fields[0], line); !fresh)
            throw ImportError(line, "the ticket number " + toUtf8(fields[0]) + " repeats the one on line " +
                                        std::to_string(at->second));
        records.push_back(std::move(fields));
    }
    if (static_cast<int>(records.size()) != rows)
        throw ImportError(static_cast<int>(lines.size()), "the file ends after " + std::to_string(records.size()) +
                                                              " records: the roster must have exactly " +
                                                              std::to_string(rows));
    return records;
}

