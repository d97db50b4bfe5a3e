#include "roster/import.h"

#include "roster/utf8.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

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

namespace {

// A C++ UTF-16 literal for the text: CJK and other printable characters as
// they are, everything else as an escape the compiler reads back exactly.
std::string literal(std::u16string_view text)
{
    std::string out = "u\"";
    char buffer[12];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\' && c != u'?')
            out += static_cast<char>(c);
        else if ((c > 0x3000 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF5E))
            out += toUtf8(text.substr(i, 1));
        else if (c < 0x80)
            std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned>(c)), out += buffer;
        else if (c >= 0xD800 && c <= 0xDBFF)  // imported text holds surrogates in pairs only
            std::snprintf(buffer, sizeof buffer, "\\U%08X",
                          0x10000u + ((c - 0xD800u) << 10) + (text[++i] - 0xDC00u)),
                out += buffer;
        else
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c)), out += buffer;
    }
    return out + "\"sv";
}

}  // namespace

std::string rosterSource(const std::vector<RosterFields>& records, std::string_view origin)
{
    std::string out = "// Generated at build time from " + std::string(origin) +
                      " by tools/rosterc. Do not edit.\n"
                      "#include \"roster/roster.h\"\n\n"
                      "using namespace std::literals;\n\n"
                      "const RosterRecord ROSTER_DATA[ROSTER_ROWS] = {\n";
    for (const auto& fields : records) {
        out += "    {";
        for (std::size_t i = 0; i < fields.size(); ++i)
            out += (i ? ", " : "") + literal(fields[i]);
        out += "},\n";
    }
    return out + "};\n";
}
