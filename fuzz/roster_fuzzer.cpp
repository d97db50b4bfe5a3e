// libFuzzer target: reads arbitrary bytes as a roster file and checks that
// whatever the reader accepts keeps the promises the program relies on,
// checked by a model written from the rules and not from the reader.
//
// Input: one byte, then the file. Bits 0 and 1 of the byte pick the encoding
// (detect, UTF-8, UTF-16LE, GB18030); bits 2 to 7, when not all zero, bound
// the records (1 to 63), else the program's own bound applies. A file that
// starts as a ZIP archive takes the workbook path (seeds: .xlsx, stored), one
// that starts as a compound file the .xls path (FreeXL; seeds: .xls).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include "office/read/read.h"
#include "roster/utf.h"

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "roster_fuzzer: %s\n", what);
    std::abort();
}

// White space and the characters that show as nothing.
bool modelBlank(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000 || c == 0xFEFF;
}

bool wellFormedUtf16(const std::u16string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xDC00 && text[i] <= 0xDFFF)
            return false;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && !(++i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF))
            return false;
    }
    return true;
}

// Ticket and identity numbers: present, blank-free, not a number Excel
// wrote in scientific notation, each used once.
void checkKeys(const RosterFile& roster, std::u16string RosterRecord::* column)
{
    static const std::regex excelNumber("[0-9]+(\\.[0-9]+)?[eE][+-]?[0-9]+");
    std::set<std::u16string> seen;
    for (const auto& record : roster.records) {
        const std::u16string& key = record.*column;
        if (key.empty())
            fail("an empty ticket or identity number was accepted");
        for (const char16_t c : key)
            if (modelBlank(c))
                fail("a ticket or identity number with a blank was accepted");
        if (std::regex_match(toUtf8(key), excelNumber))
            fail("a number in scientific notation was accepted");
        if (!seen.insert(key).second)
            fail("a repeated ticket or identity number was accepted");
    }
}

// A plain file (ASCII, no quote, no CR, no =, the header first and in our
// order) is lines of fields: the header, then records; rows of empty fields
// are skipped, empty fields beyond the fifth ignored.
std::vector<RosterRecord> plainModel(const std::string& text)
{
    std::vector<std::vector<std::u16string>> rows;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = std::min(text.find('\n', start), text.size());
        rows.push_back({});
        const std::string line = text.substr(start, end - start);
        const char separator = text.substr(0, text.find('\n')).find('\t') != std::string::npos ? '\t' : ',';
        for (std::size_t from = 0;;) {
            const auto cut = std::min(line.find(separator, from), line.size());
            rows.back().emplace_back(line.begin() + from, line.begin() + cut);
            if (cut == line.size())
                break;
            from = cut + 1;
        }
        start = end + 1;
    }
    std::vector<RosterRecord> records;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (std::all_of(rows[i].begin(), rows[i].end(), [](const auto& f) { return f.empty(); }))
            continue;
        if (rows[i].size() < 5 || std::any_of(rows[i].begin() + 5, rows[i].end(), [](const auto& f) {
                return !f.empty();
            }))
            fail("a row without five fields was accepted");
        std::u16string identity = rows[i][1];  // a final x after 17 digits is the X of the card
        if (identity.size() == 18 && identity.back() == u'x' &&
            std::all_of(identity.begin(), identity.end() - 1, [](char16_t c) { return c >= u'0' && c <= u'9'; }))
            identity.back() = u'X';
        records.push_back({rows[i][0], identity, rows[i][2], rows[i][3], rows[i][4]});
    }
    return records;
}

// The records as Excel writes them: a field holding the separator, a quote
// or a line break is quoted, its quotes doubled.
std::string excelText(const std::vector<RosterRecord>& records, char separator)
{
    std::string text = "zhun,shen,xing,chengji,beizhu\r\n";
    std::replace(text.begin(), text.end(), ',', separator);
    for (const auto& record : records) {
        for (std::size_t i = 0; i < std::size(ROSTER_FIELDS); ++i) {
            std::string field = toUtf8(record.*ROSTER_FIELDS[i]);
            if (field.find_first_of(std::string(1, separator) + "\"\r\n") != std::string::npos) {
                for (std::size_t at = 0; (at = field.find('"', at)) != std::string::npos; at += 2)
                    field.insert(at, "\"");
                field = "\"" + field + "\"";
            }
            text += (i ? std::string(1, separator) : "") + field;
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Encoding encoding[] = {Encoding::Detect, Encoding::Utf8, Encoding::Utf16le, Encoding::Gb18030};
    const std::size_t maxRecords = data[0] >> 2 ? data[0] >> 2 : ROSTER_MAX_RECORDS;
    const std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
    RosterFile roster;
    try {
        roster = readRoster(file, encoding[data[0] & 3], maxRecords);
    } catch (const ImportError& error) {
        for (const RosterProblem& problem : error.problems)
            if (problem.row < 0 || problem.message.empty())
                fail("a refusal without a row or a problem");
        return 0;
    }

    if (roster.records.empty() || roster.records.size() > maxRecords)
        fail("a record count out of bounds was accepted");
    // Each sheet's records below its header, in row order.
    if (roster.rows.size() != roster.records.size() || roster.headers.empty())
        fail("record rows that do not follow the file");
    for (std::size_t i = 0; i < roster.rows.size(); ++i) {
        const auto header = std::find_if(roster.headers.begin(), roster.headers.end(),
                                         [&](const Place& h) { return h.sheet == roster.rows[i].sheet; });
        if (header == roster.headers.end() || roster.rows[i].row <= header->row ||
            (i && roster.rows[i].sheet == roster.rows[i - 1].sheet && roster.rows[i].row <= roster.rows[i - 1].row))
            fail("record rows that do not follow the file");
    }
    checkKeys(roster, &RosterRecord::zhun);
    checkKeys(roster, &RosterRecord::shen);
    for (const auto& record : roster.records)
        for (const auto field : ROSTER_FIELDS)
            if (!wellFormedUtf16(record.*field))
                fail("a field with an unpaired surrogate was accepted");
    for (std::size_t i = 0; i < roster.warnings.size(); ++i) {
        const auto& w = roster.warnings[i];
        if (w.row <= 0 || (i && w.kind < roster.warnings[i - 1].kind))
            fail("warnings out of kind and row order");
    }
    if (roster.format.empty())
        fail("no format named");

    const bool plain = (data[0] & 3) != 2 && std::all_of(file.begin(), file.end(), [](char c) {
        return c > 0 && c != '"' && c != '\r' && c != '=';
    }) && (file.starts_with("zhun\tshen\txing\tchengji\tbeizhu\n") || file.starts_with("zhun,shen,xing,chengji,beizhu\n"));
    if (plain && roster.records != plainModel(file))
        fail("a plain file read to other records than its lines and fields");
    for (const char separator : {'\t', ','})
        if (readRoster(excelText(roster.records, separator), Encoding::Utf8, maxRecords).records != roster.records)
            fail("the records written back as Excel writes them read back otherwise");
    return 0;
}
