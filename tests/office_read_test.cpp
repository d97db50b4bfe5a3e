// The roster reader: what it accepts in each format and layout, what it
// stores, and the row and problem it names for every refusal and warning.
#include <freexl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>
#include <memory>

#include "office/read/gb18030.h"
#include "office/read/read.h"
#include "office/read/table.h"
#include "tests/carried_roster.h"
#include "roster/utf.h"

using namespace std::literals;

namespace {

const std::string HEADER = "zhun\tshen\txing\tchengji\tbeizhu";

// An identity number with its right check character (ISO 7064 MOD 11-2).
std::string identity(const std::string& first17)
{
    const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += (first17[i] - '0') * weights[i];
    return first17 + "10X98765432"[sum % 11];
}

// A valid data set of `rows` records that draws no warning, one line per
// element, header first.
std::vector<std::string> validLines(int rows = ROSTER_ROWS)
{
    std::vector<std::string> lines{HEADER};
    for (int k = 1; k <= rows; ++k) {
        const std::string n = std::to_string(1000 + k);
        lines.push_back("1073102" + n + "\t" + identity("5101041990010" + n) + "\t张三\t6" + std::to_string(k % 10) +
                        ".5\t" + (k % 7 ? "" : "缺考"));
    }
    return lines;
}

std::string join(const std::vector<std::string>& lines, const std::string& end = "\n")
{
    std::string text;
    for (const auto& line : lines)
        text += line + end;
    return text;
}

// The row and message of the first problem the reader refuses the text with.
std::pair<int, std::string> refusal(const std::string& text, Encoding encoding = Encoding::Detect,
                                    std::size_t maxRecords = ROSTER_MAX_RECORDS, std::string_view sheet = {},
                                    const ColumnChoice& columns = {})
{
    try {
        readRoster(text, encoding, maxRecords, sheet, columns);
    } catch (const ImportError& error) {
        return {error.row(), error.what()};
    }
    return {0, "accepted"};
}

// A valid data set with line `line` (counted from 1) replaced.
std::string withLine(int line, const std::string& content)
{
    auto lines = validLines();
    lines[line - 1] = content;
    return join(lines);
}

// The row numbers of places in one sheet.
std::vector<int> rowsOf(const std::vector<Place>& places)
{
    std::vector<int> rows;
    for (const Place& place : places)
        rows.push_back(place.row);
    return rows;
}

std::string utf16le(const std::string& utf8)
{
    std::string bytes = "\xFF\xFE";
    const std::u16string text = fromUtf8(utf8).value();
    for (const char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

}  // namespace

TEST(Import, storesEveryFieldExactlyAsGiven)
{
    auto lines = validLines();
    lines[3] = "10731020003\t51010419900101100X\t欧阳 娜娜\t  0   \t";
    const auto roster = readRoster(join(lines));
    ASSERT_EQ(roster.records.size(), 339u);
    EXPECT_EQ(roster.records[0].zhun, u"10731021001");
    EXPECT_EQ(roster.records[2].shen, u"51010419900101100X");
    EXPECT_EQ(roster.records[2].xing, u"欧阳 娜娜");
    EXPECT_EQ(roster.records[2].chengji, u"  0   ");  // score spaces kept
    EXPECT_EQ(roster.records[2].beizhu, u"");
    EXPECT_EQ(roster.records[6].beizhu, u"缺考");
    EXPECT_EQ(roster.rows[2], (Place{"", 4}));
    EXPECT_EQ(roster.format, "UTF-8 tab-separated");
    EXPECT_EQ(roster.encodingNote, "");
}

// One roster in every format offices save, down to Excel's quoting of a
// remark with a comma and quotes and one with a line break: that record is
// one row, as the spreadsheet shows it.
TEST(Import, readsEveryFormatToTheSameRecords)
{
    const std::vector<RosterRecord> expected{
        {u"10731020101", u"11010519491231002X", u"张三", u" 68.9    ", u""},
        {u"10731020103", u"511702198802188913", u"李四", u"0", u"缺考\n补考"},
        {u"10731020102", u"510104199001011003", u"欧阳娜", u"59", u"进藏兵加5分,\"复核\""}};
    const auto excel = [&](const std::string& header, const std::string& sep, const std::string& end) {
        std::string text = header + end;
        for (const auto& record : expected) {
            for (std::size_t i = 0; i < std::size(ROSTER_FIELDS); ++i) {
                std::string field = toUtf8(record.*ROSTER_FIELDS[i]);
                if (field.find_first_of(sep + "\"\n") != std::string::npos) {
                    for (std::size_t at = 0; (at = field.find('"', at)) != std::string::npos; at += 2)
                        field.insert(at, "\"");
                    field = "\"" + field + "\"";
                }
                text += (i ? sep : "") + field;
            }
            text += end;
        }
        return text;
    };
    const std::string chinese = "准考证号\t身份证号\t姓名\t成绩\t备注";
    const std::string gb18030 =  // Excel's plain CSV on Chinese Windows
        "\xD7\xBC\xBF\xBC\xD6\xA4\xBA\xC5,\xC9\xED\xB7\xDD\xD6\xA4\xBA\xC5,\xD0\xD5\xC3\xFB,\xB3\xC9\xBC\xA8,"
        "\xB1\xB8\xD7\xA2\r\n10731020101,11010519491231002X,\xD5\xC5\xC8\xFD, 68.9    ,\r\n10731020103,"
        "511702198802188913,\xC0\xEE\xCB\xC4,0,\"\xC8\xB1\xBF\xBC\n\xB2\xB9\xBF\xBC\"\r\n10731020102,"
        "510104199001011003,\xC5\xB7\xD1\xF4\xC4\xC8,59,\"\xBD\xF8\xB2\xD8\xB1\xF8\xBC\xD3" "5\xB7\xD6,"
        "\"\"\xB8\xB4\xBA\xCB\"\"\"\r\n";
    const std::string note = "no byte-order mark and not UTF-8: read as GB18030 (use --encoding to choose)";
    const struct {
        std::string bytes;
        Encoding encoding;
        std::string format, note;
    } files[] = {
        {excel(HEADER, "\t", "\n"), Encoding::Detect, "UTF-8 tab-separated", ""},
        {"\xEF\xBB\xBF" + excel(chinese, "\t", "\r\n"), Encoding::Detect, "UTF-8 tab-separated", ""},
        {utf16le(excel(chinese, "\t", "\r\n")), Encoding::Detect, "UTF-16LE tab-separated (Excel Unicode text)", ""},
        {utf16le(excel(HEADER, "\t", "\r\n")).substr(2), Encoding::Utf16le,
         "UTF-16LE tab-separated (Excel Unicode text)", ""},
        {"\xEF\xBB\xBF" + excel("准考证号,身份证号,姓名,成绩,备注", ",", "\r\n"), Encoding::Detect, "CSV, UTF-8, separated by commas", ""},
        {gb18030, Encoding::Detect, "CSV, GB18030, separated by commas", note},
        {gb18030, Encoding::Gb18030, "CSV, GB18030, separated by commas", ""},
        {excel("准考证号;身份证号;姓名;成绩;备注", ";", "\r\n"), Encoding::Detect, "CSV, UTF-8, separated by semicolons", ""},
    };
    for (const auto& file : files) {
        const auto roster = readRoster(file.bytes, file.encoding);
        EXPECT_EQ(roster.records, expected) << file.format;
        EXPECT_EQ(rowsOf(roster.rows), (std::vector<int>{2, 3, 4})) << file.format;
        EXPECT_EQ(roster.format, file.format);
        EXPECT_EQ(roster.encodingNote, file.note);
    }
}

// Characters outside the Basic Multilingual Plane: four bytes in GB18030 and
// UTF-8, a surrogate pair in the record.
TEST(Import, readsCharactersBeyondTheBasicPlane)
{
    const std::string record = "10731020101\t11010519491231002X\t";
    EXPECT_EQ(readRoster(HEADER + "\n" + record + "\xF0\xA0\xAE\xB7\t0\t\n").records[0].xing, u"\U00020BB7");
    if (!fromGb18030("\x95\x34\xB2\x35"))
        GTEST_SKIP() << "no GB18030 table here (Wine reads GBK in its place)";
    EXPECT_EQ(readRoster(HEADER + "\n" + record + "\x95\x34\xB2\x35\t0\t\n").records[0].xing, u"\U00020BB7");
}

TEST(Import, takesTodaysFilesAsBefore)
{
    // No line end after the last record; a quote inside a field is text.
    auto lines = validLines();
    lines[5] = "10731021005\t" + identity("51010419900101005") + "\t张\"三\"\t60.5\t加\"5\"分";
    std::string text = join(lines);
    text.pop_back();
    const auto roster = readRoster(text);
    EXPECT_EQ(roster.records.size(), 339u);
    EXPECT_EQ(roster.records[4].xing, u"张\"三\"");
    EXPECT_EQ(roster.records[4].beizhu, u"加\"5\"分");
    // CRLF line ends, the last one cut after its CR.
    text = join(validLines(), "\r\n");
    text.pop_back();
    EXPECT_EQ(readRoster(text).records, readRoster(join(validLines())).records);
}

TEST(Import, defaultRosterReadsTheSameFromBomAndCrlf)
{
#ifndef DEFAULT_ROSTER
    GTEST_SKIP() << "the build compiles another roster";
#endif
    const std::string plain = readFile(ROSTER_PATH);
    std::string exported = "\xEF\xBB\xBF";
    for (char c : plain)
        exported += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(readRoster(exported).records, readRoster(plain).records);
}

TEST(Import, compiledRosterEqualsTheFileRecordByRecord)
{
    const auto records = readRoster(readFile(ROSTER_PATH)).records;
    ASSERT_EQ(records.size(), std::size_t(ROSTER_ROWS));
    for (int k = 0; k < ROSTER_ROWS; ++k) {
        const RosterRecord& r = ROSTER_DATA[k];
        EXPECT_EQ(r, records[k]) << "record " << k + 1;
    }
}

// The first bad byte is named at its row and column; one bad byte in a UTF-8
// file is a UTF-8 problem, not a reason to read the file as GB18030.
TEST(Import, refusesTextNotInItsEncodingAtItsRowAndColumn)
{
    const std::string advice = ": save the roster as UTF-8 text";
    for (const auto& [bad, hex] : {std::pair{"\xB7\xF6", "B7"}, {"\xC0\xAF", "C0"}, {"\xED\xA0\x80", "ED"},
                                   {"\xF4\x90\x80\x80", "F4"}, {"\xE5\xBC", "E5"}})
        for (const auto encoding : {Encoding::Utf8, Encoding::Detect})
            EXPECT_EQ(refusal(withLine(5, "10731020004\t510104199001011004\t" + std::string(bad) + "\t60.5\t"), encoding),
                      std::make_pair(5, "not valid UTF-8: byte 0x" + std::string(hex) + " in column C" + advice));
    // A quoted field with a line break is one row.
    auto lines = validLines();
    lines[2] = "10731021002\t" + identity("51010419900101002") + "\t张三\t60.5\t\"缺考\n补考\"";
    EXPECT_EQ(refusal(join(lines) + "\xD5\xC5\xC8\xFD\n", Encoding::Utf8),
              std::make_pair(341, "not valid UTF-8: byte 0xD5 in column A" + advice));
    // 0xFF is neither UTF-8 nor GB18030; a GB18030 lead byte needs a second byte.
    EXPECT_EQ(refusal(HEADER + "\n10731020004\t\xFF"),
              std::make_pair(2, "neither UTF-8 nor GB18030 text: byte 0xFF in column B" + advice));
    EXPECT_EQ(refusal(withLine(7, "\xD5\t"), Encoding::Gb18030),
              std::make_pair(7, "not valid GB18030 text: byte 0xD5 in column A" + advice));
    // UTF-16: a lone surrogate where the @ stands, and half a code unit at the end.
    std::string lone = utf16le(withLine(3, "10731021002\t" + identity("51010419900101002") + "\t张@\t60.5\t"));
    lone.replace(lone.find("@\0"s), 2, "\x00\xD8"s);
    EXPECT_EQ(refusal(lone), std::make_pair(3, std::string("not valid UTF-16: an unpaired surrogate (U+D800) in column C")));
    EXPECT_EQ(refusal(utf16le(join(validLines())) + "\n"),
              std::make_pair(341, std::string("half a UTF-16 character (the file has an odd number of bytes) in column A")));
}

// The header is found by its names, in any order, below titles; other
// columns are ignored; without one, the error says what was looked for.
TEST(Import, findsTheHeaderAndItsColumns)
{
    EXPECT_EQ(refusal(""), std::make_pair(1, std::string("the file is empty; it must hold a header row and the records")));
    const std::string looked = "looked for a row with the columns 准考证号 (or zhun), 身份证号 (or shen), 姓名 (or xing), "
                               "成绩 (or chengji), 备注 (or beizhu); the first row reads ";
    EXPECT_EQ(refusal(withLine(1, "ZHUN\tSHEN\tXING\tCHENGJI\tBEIZHU")),
              std::make_pair(1, "no header row in the first 10 rows: " + looked + "\"ZHUN<TAB>SHEN<TAB>XING<TAB>CHENGJI<TAB>BEIZHU\""));
    // A roster without a header: its identity numbers masked, blanks shown.
    auto lines = validLines();
    lines.erase(lines.begin());
    lines[0] = "10731021001\t" + identity("51010419900101001") + "\t张 三\u3000\t60.5\t";
    EXPECT_EQ(refusal(join(lines)),
              std::make_pair(1, "no header row in the first 10 rows: " + looked +
                                    "\"10731021001<TAB>510104……<TAB>张·三<全角空格><TAB>60.5<TAB>\""));
    EXPECT_EQ(refusal(withLine(1, "准考证号\t身份证号\t姓名\t成绩")),
              std::make_pair(1, std::string("the header has no column 备注 (or beizhu); if it has another name, choose it "
                                            "with --column beizhu=NAME")));
    EXPECT_EQ(refusal(withLine(1, "zhun\tshen\txing\tchengji\tbeizhu\t准考证号")).second,
              "several columns for 准考证号: zhun (A), 准考证号 (F); choose one with --column zhun=NAME (the column's header)");

    // Titles above, blanks and line breaks around and inside the names,
    // variants, another order, an extra column and empty trailing ones,
    // footers: the same records.
    const std::string records =
        "2026年笔试成绩\t\t\t\t\t\t\n（注：按考场排序）\n"
        "\u3000姓名 \t\"身份\n证号码\"\t考场\t 准考证 \t成绩\t备 注\t\t\n"
        "张三\t" + identity("51010419900101001") + "\t3\t10731021001\t60.5\t\t\t\n"
        "李四\t" + identity("51010419900101002") + "\t3\t10731021002\t61.5\t缺考\t\t补\n\n"
        "制表人：王老师\t\t\t\t\t\t\t\n合计\t2人\n";
    const auto roster = readRoster(records);
    EXPECT_EQ(roster.records, (std::vector<RosterRecord>{
                                  {u"10731021001", fromUtf8(identity("51010419900101001")).value(), u"张三", u"60.5", u""},
                                  {u"10731021002", fromUtf8(identity("51010419900101002")).value(), u"李四", u"61.5", u"缺考"}}));
    EXPECT_EQ(rowsOf(roster.rows), (std::vector<int>{4, 5}));
    EXPECT_EQ(rowsOf(roster.headers), std::vector<int>{3});
    EXPECT_EQ(roster.ignoredColumns, (std::vector<std::string>{"考场 (C)", "without a header (H)"}));
    EXPECT_TRUE(roster.warnings.empty());
    ASSERT_EQ(roster.footers.size(), 2u);
    EXPECT_EQ(rowsNamed({roster.footers[0].place, roster.footers[1].place}), "rows 7, 8");
    EXPECT_EQ(roster.footers[1].text, u"合计 | 2人");
    // Two columns for one field: named, and --column settles it.
    const std::string twoScores = "准考证号,身份证号,姓名,成绩,成绩,备注\n10731021001," + identity("51010419900101001") + ",张三,1,2,\n";
    EXPECT_EQ(refusal(twoScores).second, "several columns could be the score (成绩): 成绩 (D), 成绩 (E); choose one "
                                         "with --column chengji=NAME (the column's header)");
    EXPECT_EQ(readRoster(twoScores, Encoding::Detect, ROSTER_MAX_RECORDS, {}, {u"", u"", u"", u"E", u""}).records[0].chengji, u"2");
}

// Each refusal of a record, on the row it stands on; identity numbers masked.
TEST(Import, refusesEachBadRecordByItsRow)
{
    const std::string id5 = "\t" + identity("51010419900101004") + "\t李四\t60.5\t";  // identity to remark, row 5
    const std::string hint = ": format the column as text, type the numbers again, and save";
    const std::string ticket = "the ticket number (准考证号) ", number = "the identity number (身份证号) ";
    const struct {
        int line;
        std::string content;
        int refusedRow;
        std::string message;
    } cases[] = {
        {7, "10731021006\t510104199001011006\t李四\t60.5", 7, "found 4 fields where the header row has 5"},
        {9, "10731021008\t510104199001011008\t李四\t60.5\t\tx", 9, "found 6 fields where the header row has 5"},
        {12, "\t510104199001011011\t李四\t60.5\t", 12, "the ticket number (准考证号) is empty"},
        {340, "10731020339\t\t李四\t60.5\t", 340, "the identity number (身份证号) is empty"},
        {3, " 10731021002\t510104199001011002\t李四\t60.5\t", 3, ticket + "\" 10731021002\" has a blank (U+0020) before it"},
        {4, "10731021003\t510104199001011003\u3000\t李四\t60.5\t", 4,
         number + "\"510104……\" has a blank (U+3000) after it"},
        {5, "1073102\u00A01004" + id5, 5, ticket + "\"1073102\u00A01004\" has a blank (U+00A0) inside it"},
        {5, "\"10731021004\n\"" + id5, 5, ticket + "\"10731021004⏎\" has a blank (U+000A) after it"},
        {200, "10731021002\t" + identity("51010419900109999") + "\t李四\t60.5\t", 200,
         "the ticket number 10731021002 repeats the one on row 3"},
        {200, "10731029999\t" + identity("51010419900101002") + "\t李四\t60.5\t", 200,
         "the identity number 510104…… repeats the one on row 3"},
        {6, "10731021005\t510104199001011005\t李\r四\t60.5\t", 6,
         "a carriage return (CR) stands inside the line; lines must end in LF or CRLF"},
        {6, "10731021005\t510104199001011005\t\"李\r\n四\"x\t60.5\t", 6,
         "text follows the closing quote of a quoted field; write a quote inside a quoted field twice (\"\")"},
        {5, "10731021004\t5.11902E+17\t李四\t60.5\t", 5,
         number + "\"……\" is a number in Excel's scientific notation, its digits lost" + hint},
        {5, "1.07310e10" + id5, 5, ticket + "\"1.07310e10\" is a number in Excel's scientific notation, its digits lost" + hint},
        {5, "10731021004\t510104199000000000\t李四\t60.5\t", 5,
         number + "\"510104……\" ends in zeros after its 15th digit, as Excel leaves a number it rounded" + hint},
        {5, "1073102100400000" + id5, 5,
         ticket + "\"1073102100400000\" ends in zeros after its 15th digit, as Excel leaves a number it rounded" + hint},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(withLine(c.line, c.content)), std::make_pair(c.refusedRow, c.message)) << c.content;
    // An identity number that ends in zeros and passes its check is a real one.
    EXPECT_EQ(refusal(withLine(5, "10731021004\t510104199000018000\t李四\t60.5\t")).second, "accepted");
    // A quoted field left open runs to the end of the file: its first row is named.
    EXPECT_EQ(refusal(withLine(300, "10731021299\t\"5101")),
              std::make_pair(300, std::string("a quoted field is never closed: the closing quote (\") is missing")));
}

// Every problem in one pass, by spreadsheet row, and no whole identity
// number anywhere in what the reader says.
TEST(Import, namesEveryProblemByItsRowInOnePass)
{
    auto lines = validLines(20);
    const std::string failing = "51170219880218891" + std::string(identity("51170219880218891").back() == '9' ? "8" : "9");
    lines[2] = "10731021002\t" + identity("51010419900101002") + "\t张三\t60.5\t\"缺考\n补考\"";  // row 3, two lines
    lines[4] = "\t" + identity("51010419900101009") + "\t张三\t60.5\t";                       // row 5
    lines[7] = "10731021007\t" + failing + "\t张?\t\t";                                       // row 8: warnings only
    lines[9] = "10731021009\t5.11902E+17\t张三\t60.5\t";                                      // row 10
    lines[12] = "10731021003\t" + identity("51010419900101001") + "\t张三\t60.5\t";           // row 13: both repeat
    try {
        readRoster(join(lines));
        FAIL() << "accepted";
    } catch (const ImportError& error) {
        std::vector<int> rows;
        for (const auto& problem : error.problems)
            rows.push_back(problem.row);
        EXPECT_EQ(rows, (std::vector<int>{5, 10, 13, 13}));
    }
    lines[4] = lines[9] = lines[12] = "";
    const auto roster = readRoster(join(lines));
    std::vector<std::pair<WarningKind, int>> kinds;
    std::string said;
    for (const auto& warning : roster.warnings) {
        kinds.emplace_back(warning.kind, warning.row);
        said += warning.message + "\n";
    }
    // The kinds that can make a lookup fail first; empty rows last.
    EXPECT_EQ(kinds, (std::vector<std::pair<WarningKind, int>>{{WarningKind::Identity, 8},
                                                               {WarningKind::NotChinese, 8},
                                                               {WarningKind::EmptyScore, 8},
                                                               {WarningKind::EmptyRow, 5},
                                                               {WarningKind::EmptyRow, 10},
                                                               {WarningKind::EmptyRow, 13}}));
    // Neither the birth date nor the last four characters, nor the check
    // character the number should have: the region and the row only.
    EXPECT_NE(said.find("the identity number 511702…… fails its check (ISO 7064 MOD 11-2)\n"), std::string::npos)
        << said;
    for (const std::string& part : {failing.substr(6, 8), failing.substr(14), std::string("should be")})
        EXPECT_EQ(said.find(part), std::string::npos) << part << " in " << said;
    EXPECT_NE(said.find("the name has a character that is not Chinese: \"?\" (U+003F)"), std::string::npos);
}

// Full-width digits and letters, ="…" and a final lower-case x are made what
// they certainly mean, and counted with their first rows; nothing else changes.
TEST(Import, normalizesTicketAndIdentityNumbersOnlyWhereCertain)
{
    const std::string id = identity("11010519491231002");  // ends in X
    auto lines = validLines(9);
    lines[2] = "１０７３１０２１００２\t" + identity("51010419900101002") + "\t张三\t６０.5\t";
    lines[3] = "=\"10731021003\"\t=\"" + id.substr(0, 17) + "x\"\t张三\t60.5\t";
    lines[4] = "10731021004\t５１０１０４１９９００１０１００４３\t张三\t60.5\t";
    const auto roster = readRoster(join(lines));
    EXPECT_EQ(roster.records[1].zhun, u"10731021002");
    EXPECT_EQ(roster.records[1].chengji, u"６０.5");  // a score stays as given
    EXPECT_EQ(roster.records[2].zhun, u"10731021003");
    EXPECT_EQ(toUtf8(roster.records[2].shen), id);
    EXPECT_EQ(toUtf8(roster.records[3].shen), identity("51010419900101004"));
    std::vector<std::tuple<std::string, std::size_t, std::vector<int>>> changes;
    for (const auto& change : roster.changes)
        changes.emplace_back(change.what, change.count, rowsOf(change.firstRows));
    EXPECT_EQ(changes, (std::vector<std::tuple<std::string, std::size_t, std::vector<int>>>{
                           {"ticket numbers in full-width characters: made ASCII", 1, {3}},
                           {"ticket numbers written as =\"…\": unwrapped", 1, {4}},
                           {"identity numbers written as =\"…\": unwrapped", 1, {4}},
                           {"identity numbers ending in a lower-case x: X, as the card prints it", 1, {4}},
                           {"identity numbers in full-width characters: made ASCII", 1, {5}}}));
    EXPECT_TRUE(roster.warnings.empty());
}

TEST(Import, refusesNoRecordAndMoreThanTheProgramHolds)
{
    EXPECT_EQ(refusal(HEADER + "\n\n\t\t\t\t\n"), std::make_pair(0, std::string("the roster has no record")));
    EXPECT_EQ(refusal(join(validLines(4)), Encoding::Detect, 3),
              std::make_pair(5, std::string("more than 3 records: the roster can hold at most 3")));
    EXPECT_EQ(readRoster(join(validLines(3)), Encoding::Detect, 3).records.size(), 3u);
}

// Each warning, on the row it stands on; the valid data set draws none.
TEST(Import, warnsOfEachOddityByItsRow)
{
    const std::string rest = "\t张三\t60.5\t";
    const std::string ticket = "10731021009\t";  // row 10
    const struct {
        std::string content;
        std::string message;
    } cases[] = {
        {ticket + "510104900101100" + rest, "the identity number 510104…… has 15 digits, an old-style number; "
                                            "numbers now have 18"},
        {ticket + "51010419900101-003" + rest,
         "the identity number 510104…… is not 17 digits followed by a digit or X"},
        {ticket + "5101041990010110033" + rest,
         "the identity number 510104…… is not 17 digits followed by a digit or X"},
        {ticket + "510104199001011004" + rest,
         "the identity number 510104…… fails its check (ISO 7064 MOD 11-2)"},
        {ticket + identity("51010419900101009") + "\t张 三\t60.5\t",
         "the name has a character that is not Chinese: U+0020"},
        {ticket + identity("51010419900101009") + "\tZhang\t60.5\t",
         "the name has a character that is not Chinese: \"Z\" (U+005A)"},
        {ticket + identity("51010419900101009") + "\t张\xF0\x9F\x98\x80\t60.5\t",
         "the name has a character that is not Chinese: \"\xF0\x9F\x98\x80\" (U+1F600)"},
        {ticket + identity("51010419900101009") + "\t\t60.5\t", "the name is empty"},
        {ticket + identity("51010419900101009") + "\t张三\t \t缺考", "the score is empty"},
        {ticket + identity("51010419900101009") + "\t张三\t 60.5    \t", "the score has blanks around it"},
        {ticket + identity("51010419900101009") + "\t张三\t60.5\t缺考 ", "the remark has blanks around it"},
        {"1073102109\t" + identity("51010419900101009") + rest,
         "the ticket number 1073102109 has 10 characters where the others have 11 (a lost leading zero?)"},
        {"107310210090\t" + identity("51010419900101009") + rest,
         "the ticket number 107310210090 has 12 characters where the others have 11"},
        {"", "an empty row is skipped"},
        {"\t\t\"\"\t\t", "an empty row is skipped"},
    };
    EXPECT_TRUE(readRoster(join(validLines())).warnings.empty());
    for (const auto& c : cases) {
        const auto warnings = readRoster(withLine(10, c.content)).warnings;
        ASSERT_EQ(warnings.size(), 1u) << c.content;
        EXPECT_EQ(std::make_pair(warnings[0].row, warnings[0].message), std::make_pair(10, c.message));
    }
    // Names of minorities carry a middle dot; Extensions A and B are Chinese too.
    const std::string names = ticket + identity("51010419900101009") + "\t阿依·买买提\u3400\xF0\xA0\xAE\xB7\t60.5\t";
    EXPECT_TRUE(readRoster(withLine(10, names)).warnings.empty());
    // Empty rows at the end are no oddity.
    const auto roster = readRoster(withLine(10, ticket + "510104199001011004\t张三\t 60.5\t") + "\n\t\t\t\t\n\n");
    ASSERT_EQ(roster.warnings.size(), 2u);
    EXPECT_EQ(roster.warnings[1].row, 10);
}

TEST(Import, showsTextThatWouldActVisiblyInItsMessages)
{
    // An escape sequence would clear the office's terminal; an override would reverse what follows.
    EXPECT_EQ(visible(u"制表\u202E人\x1b[2J\x7F\u2066\t\r\n"), "制表[U+202E]人␛[2J␡[U+2066]→⏎");
    EXPECT_EQ(visible(u"张三 Zhang\u00A0San"), "张三 Zhang\u00A0San");
}

TEST(Import, namesEncodings)
{
    for (const auto& [name, encoding] : {std::pair{"UTF-8", Encoding::Utf8}, {"utf8", Encoding::Utf8},
                                         {"UTF-16LE", Encoding::Utf16le}, {"utf-16", Encoding::Utf16le},
                                         {"GB18030", Encoding::Gb18030}, {"gbk", Encoding::Gb18030},
                                         {"CP936", Encoding::Gb18030}, {"936", Encoding::Gb18030}})
        EXPECT_EQ(encodingNamed(name), encoding) << name;
    EXPECT_EQ(encodingNamed("latin1"), std::nullopt);
}

// Workbooks of two independent writers, made by tests/make_workbooks.py: run
// by CTest (Workbook.readByTheReader), which names their folder.
TEST(Workbook, readsAnOfficesWorkbooksAsTheirTextTwin)
{
    const char* folder = std::getenv("VARNHOLT_WORKBOOKS");
    if (!folder)
        GTEST_SKIP() << "run by CTest after tests/make_workbooks.py";
    const std::string dir = folder + "/"s;
    const auto text = readRoster(readFile((dir + "roster.tsv").c_str()));
    for (const char* name : {"roster.xlsx", "roster-inline.xlsx"}) {
        const auto book = readRoster(readFile((dir + name).c_str()));
        EXPECT_EQ(book.records, text.records) << name;
        EXPECT_EQ(book.format, "Excel workbook (.xlsx), sheet \"成绩\"");
        EXPECT_EQ(rowsOf(book.headers), std::vector<int>{2});
        EXPECT_EQ(book.ignoredColumns, std::vector<std::string>{"考场 (D)"});
        EXPECT_EQ(book.rows.front().row, 3);
    }

    // An identity number stored as a number lost its last digits in the
    // workbook; a ticket number stored as a number is its digits.
    const auto [row, message] = refusal(readFile((dir + "identity-number.xlsx").c_str()));
    EXPECT_EQ(row, 3);
    EXPECT_NE(message.find("is stored as a number in the workbook, its digits already lost: format the column as "
                           "text, type the numbers again, and save"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("the identity number (身份证号) \"5.1170……\""), std::string::npos) << message;

    // Without --sheet the sheet with the header is read, the other named.
    const auto found = readRoster(readFile((dir + "two-sheets.xlsx").c_str()));
    EXPECT_EQ(found.format, "Excel workbook (.xlsx), sheet \"名单\"");
    EXPECT_EQ(found.skippedSheets, std::vector<std::string>{"说明"});
    EXPECT_EQ(rowsNamed(found.rows), "名单!2, 3");
    EXPECT_EQ(refusal(readFile((dir + "two-sheets.xlsx").c_str()), Encoding::Detect, ROSTER_MAX_RECORDS, "说明").second.find("no header row"), 0u);
    const auto named = readRoster(readFile((dir + "two-sheets.xlsx").c_str()), Encoding::Detect, ROSTER_MAX_RECORDS, "名单");
    EXPECT_EQ(named.records.back(), (RosterRecord{u"10731020103", u"510104199001011003", u"王五", u"59", u""}));
    EXPECT_EQ(named.records.front().beizhu, u"复核\r\n加5分");
    try {
        readRoster(readFile((dir + "two-sheets.xlsx").c_str()), Encoding::Detect, ROSTER_MAX_RECORDS, "成绩");
        ADD_FAILURE() << "a missing sheet was read";
    } catch (const ImportError& error) {
        EXPECT_STREQ(error.what(), "the workbook has no sheet \"成绩\"; it has \"说明\", \"名单\"");
    }
    // Numbers as their formats show them, a padded ticket as shown and
    // unchanged; each cell that cannot be shown refused at its row and column.
    try {
        readRoster(readFile((dir + "unshown.xlsx").c_str()));
        ADD_FAILURE() << "cells that cannot be shown were read";
    } catch (const ImportError& error) {
        ASSERT_EQ(error.problems.size(), 3u);
        EXPECT_EQ(error.problems[0], (RosterProblem{2, "column D (成绩): its formula has no saved result (the program "
                                                       "that wrote the workbook never calculated it): open the workbook "
                                                       "in Excel, WPS or LibreOffice, save it, and pack again"}));
        EXPECT_EQ(error.problems[1], (RosterProblem{3, "column D (成绩): it shows the error #N/A: correct the cell or "
                                                       "what its formula uses"}));
        EXPECT_EQ(error.problems[2], (RosterProblem{4, "column D (成绩): the number format \"[DBNum1]0\" is not one "
                                                       "the reader knows ([DBNum1]); give the column a format such as "
                                                       "0.00 or @ (text)"}));
    }
    const auto firstRows = readRoster(readFile((dir + "shown.xlsx").c_str()));
    ASSERT_EQ(firstRows.records.size(), 3u);
    EXPECT_EQ(firstRows.records[0].zhun, u"0000010001");
    EXPECT_EQ((std::vector<std::u16string>{firstRows.records[0].chengji, firstRows.records[1].chengji, firstRows.records[2].chengji}),
              (std::vector<std::u16string>{u"78.50", u"87.00分", u"86.0"}));
    EXPECT_TRUE(firstRows.changes.empty());

    // What inflating may produce is bounded.
    EXPECT_EQ(refusal(readFile((dir + "bomb.xlsx").c_str())),
              std::make_pair(0, std::string("not a sound workbook: it unpacks to more than 64 MiB; save it again as "
                                            ".xlsx in Excel or WPS")));
}

// A workbook of one sheet for each exam room, each header of another shape:
// every sheet with the header read as one roster, rows named by sheet.
TEST(Workbook, readsEverySheetWithTheHeader)
{
    const char* folder = std::getenv("VARNHOLT_WORKBOOKS");
    if (!folder)
        GTEST_SKIP() << "run by CTest after tests/make_workbooks.py";
    const std::string book = readFile((folder + "/rooms.xlsx"s).c_str());
    // Two sheets with several columns that could be the score.
    try {
        readRoster(book);
        ADD_FAILURE() << "several scores were accepted";
    } catch (const ImportError& error) {
        ASSERT_EQ(error.problems.size(), 1u);
        EXPECT_EQ(error.problems[0].sheet, "第三考场");
    }
    EXPECT_EQ(refusal(book, Encoding::Detect, ROSTER_MAX_RECORDS, "第二考场"),
              std::make_pair(1, std::string("several columns could be the score (成绩): 笔试 (D, under 成绩), 总成绩 "
                                            "(E, under 成绩); choose one with --column chengji=NAME (the column's "
                                            "header)")));
    ColumnChoice choice;
    choice[3] = u"总 成绩";
    // The hidden sheet is left unread, and named, unless --sheet names it.
    const auto roster = readRoster(book, Encoding::Detect, ROSTER_MAX_RECORDS, {}, choice);
    EXPECT_EQ(roster.format, "Excel workbook (.xlsx), sheets \"第一考场\", \"第三考场\"");
    EXPECT_EQ(roster.skippedSheets, std::vector<std::string>{"说明"});
    EXPECT_EQ(rowsNamed(roster.rows), "第一考场!2, 3, 第三考场!2");
    EXPECT_EQ(roster.records[1], (RosterRecord{u"10731020202", u"511702198802188913", u"钱二", u"0", u"缺考\n补考"}));
    EXPECT_EQ(roster.records[2].chengji, u"130");
    EXPECT_EQ(roster.chosenColumns, std::vector<std::string>{"总成绩 (F) as 成绩"});
    EXPECT_EQ(rowsNamed(roster.hiddenRows), "第一考场!3");
    ASSERT_EQ(roster.hiddenSheets.size(), 1u);
    EXPECT_EQ(hiddenSheetNote(roster.hiddenSheets[0]),
              "the sheet \"第二考场\" has the header but the workbook hides it, so it is not read; if its candidates "
              "belong to the roster, pack it with --sheet \"第二考场\"");
    const auto hidden = readRoster(book, Encoding::Detect, ROSTER_MAX_RECORDS, "第二考场", choice);
    EXPECT_EQ(hidden.records.at(0).chengji, u"155");
    EXPECT_EQ(hidden.hiddenColumns, std::vector<std::string>{"总成绩 (E, under 成绩)"});
    ASSERT_EQ(roster.footers.size(), 2u);
    EXPECT_EQ(rowsNamed({roster.footers[1].place}), "第一考场!6");
    EXPECT_EQ(roster.footers[1].text, u"合计 | 2人");
    EXPECT_TRUE(roster.warnings.empty());
    choice[3] = u"名次";
    EXPECT_EQ(refusal(join(validLines()), Encoding::Detect, ROSTER_MAX_RECORDS, {}, choice).second,
              "no column is named \"名次\" (--column chengji=名次)");
}

// What Chinese Excel and newer writers save, as the sheet shows it: ISO
// date cells by their formats, the system's long date and time as Chinese
// Windows shows them, a remark merged over two absentees given to both (in
// a workbook and in an .ods), a total row skipped, a very hidden sheet left
// unread; merges that join the header with a record or span two of the
// five columns refused by their range.
TEST(Workbook, readsMergesDatesTotalsAndHiddenSheetsAsTheOfficeSeesThem)
{
    const char* folder = std::getenv("VARNHOLT_WORKBOOKS");
    if (!folder)
        GTEST_SKIP() << "run by CTest after tests/make_workbooks.py";
    const std::string dir = folder + "/"s;
    const auto book = readRoster(readFile((dir + "office.xlsx").c_str()));
    ASSERT_EQ(book.records.size(), 5u);
    std::vector<std::u16string> remarks;
    for (const auto& record : book.records)
        remarks.push_back(record.beizhu);
    EXPECT_EQ(remarks, (std::vector<std::u16string>{u"2025年6月2日", u"2025年6月1日", u"缺考", u"缺考", u"9:30:00"}));
    EXPECT_EQ(book.records[3].chengji, u"0.0");
    EXPECT_EQ(book.mergedCells, std::vector<std::string>{"成绩!E4:E5 merged: 缺考 for rows 4, 5"});
    ASSERT_EQ(book.footers.size(), 1u);
    EXPECT_EQ(book.footers[0].text, u"汇总 | 5人 | 216");
    ASSERT_EQ(book.hiddenSheets.size(), 1u);
    EXPECT_NE(hiddenSheetNote(book.hiddenSheets[0]).find("\"2024备份\" has the header but the workbook hides it as "
                                                         "very hidden (Excel's menus cannot unhide it)"),
              std::string::npos);
    EXPECT_EQ(readRoster(readFile((dir + "office.xlsx").c_str()), Encoding::Detect, ROSTER_MAX_RECORDS, "2024备份")
                  .records.at(0).xing, u"吴六");

    const auto table = readRoster(readFile((dir + "table.xlsx").c_str()));
    EXPECT_EQ(table.records.size(), 2u);
    ASSERT_EQ(table.footers.size(), 1u);
    EXPECT_EQ(table.footers[0].text, u"人数 | 2 | 150 | 平均75");

    const auto ods = readRoster(readFile((dir + "merged.ods").c_str()));
    ASSERT_EQ(ods.records.size(), 2u);
    EXPECT_EQ(ods.records[1].beizhu, u"缺考");
    EXPECT_EQ(ods.mergedCells, std::vector<std::string>{"E2:E3 merged: 缺考 for rows 2, 3"});

    try {
        readRoster(readFile((dir + "merges.xlsx").c_str()));
        ADD_FAILURE() << "merges over the header and over two columns were read";
    } catch (const ImportError& error) {
        ASSERT_EQ(error.problems.size(), 2u);
        EXPECT_EQ(error.problems[0], (RosterProblem{1, "the merged cells E1:E2 join the header with records: unmerge "
                                                       "them and give each record its own 备注"}));
        EXPECT_EQ(error.problems[1], (RosterProblem{3, "the merged cells D3:E3 span two of the five columns (成绩, "
                                                       "备注): unmerge them and give each column its own value"}));
    }
}

namespace {

// A sheet's cells that show something, by row and column.
std::map<std::pair<int, std::size_t>, std::u16string> shownCells(const Table& table)
{
    std::map<std::pair<int, std::size_t>, std::u16string> cells;
    for (const TableRow& row : table.rows)
        for (const Cell& cell : row.cells)
            if (!cell.text.empty())
                cells[{row.row, cell.column}] = cell.text;
    return cells;
}

}  // namespace

// Excel 97-2003 workbooks written by LibreOffice (tests/make_xls.py) and
// Gnumeric (tests/make_gnumeric.py): numbers as their formats show them and
// formulas by their saved results, as in each writer's .xlsx and .ods of the
// same sheet; a hidden sheet's visibility told by FreeXL; booleans, hidden
// rows and hidden columns as in the .xlsx and .ods.
TEST(Workbook, readsXlsAsTheSheetShowsIt)
{
    const auto xls = readRoster(readFile(TEST_DATA "/roster-1000.xls"));
    EXPECT_EQ(xls.format, "Excel 97-2003 workbook (.xls), sheet \"成绩\"");
    EXPECT_EQ(xls.records.size(), 1000u);
    EXPECT_EQ(rowsNamed(xls.rows, 1000).substr(0, 14), "rows 2, 3, 4, ");
    const auto numbers = readRoster(readFile(TEST_DATA "/number-score.xls"));
    ASSERT_EQ(numbers.records.size(), 2u);
    EXPECT_EQ(numbers.records[0].chengji, u"78.5");
    EXPECT_EQ(numbers.records[1].chengji, u"87");
    // The formula's result as the writer saved it (xlsxwriter's 0, never
    // calculated by LibreOffice), as the workbook's .xlsx has it too.
    EXPECT_EQ(readRoster(readFile(TEST_DATA "/formula-score.xls")).records.at(1).chengji, u"0");

    // One sheet in each writer's format, each record's fields joined by |
    // as the sheet shows them: Gnumeric's .xls, .xlsx and .ods; that .xlsx
    // saved as .xls by LibreOffice (format codes escaped its way, 0.0\分,
    // the formulas' results it kept, the merge); Excel 2003 XML (named
    // formats, a rich-text name, a comment left out, a very hidden sheet
    // unread); a web system's 导出Excel (an HTML table in GB2312 saved as
    // .xls, a title row above the header, mso-number-format of the cell or
    // its class, text as the page shows it, &nbsp; a no-break space).
    const std::vector<std::string> shown = {"0000010001|11010519491231002X|张三|78.50|",
                                            "0000010002|511702198802188913|李四|87.0分|",
                                            "0000010003|510104199001011003|王五|85.50|2025年6月2日",  // AVERAGE
                                            "0000010004|510104199001011011|赵六|87|缺考",  // TEXT: a STRING record
                                            "0000010005|510104199001011020|钱七|0|缺考"};  // the merge's
    for (const char* file : {"gnumeric/roster.xls", "gnumeric/roster.xlsx", "gnumeric/roster.ods",
                             "libreoffice/roster.xls", "roster-2003.xls", "roster-web.xls"}) {
        const auto roster = readRoster(readFile((TEST_DATA "/"s + file).c_str()));
        std::vector<std::string> fields;
        for (const RosterRecord& r : roster.records)
            fields.push_back(toUtf8(r.zhun + u"|" + r.shen + u"|" + r.xing + u"|" + r.chengji + u"|" + r.beizhu));
        if (file == "roster-web.xls"s)
            fields[1].erase(fields[1].size() - 2);  // the &nbsp; of the second remark
        EXPECT_EQ(fields, shown) << file;
        ASSERT_EQ(roster.mergedCells.size(), 1u) << file;
        EXPECT_NE(roster.mergedCells[0].find(":E" + std::to_string(roster.rows.back().row) + " merged: 缺考 for rows"),
                  std::string::npos) << roster.mergedCells[0];
    }
    // The workbook's second sheet, 核对: a boolean typed and one computed by
    // a formula, a hidden row and a hidden column.
    const std::map<std::pair<int, std::size_t>, std::u16string> checked = {
        {{1, 0}, u"已核对"}, {{1, 1}, u"TRUE"}, {{1, 2}, u"FALSE"}, {{1, 3}, u"隐藏列"}, {{2, 0}, u"隐藏行"},
        {{3, 0}, u"末行"}};
    for (const char* file : {"gnumeric/roster.xls", "gnumeric/roster.xlsx", "gnumeric/roster.ods",
                             "libreoffice/roster.xls"}) {
        const std::string bytes = readFile((TEST_DATA "/"s + file).c_str());
        const auto sheets = isCompoundFile(bytes)   ? readXls(bytes, "核对")
                            : isOpenDocument(bytes) ? readOds(bytes, "核对")
                                                    : readWorkbook(bytes, "核对");
        ASSERT_EQ(sheets.size(), 1u) << file;
        EXPECT_EQ(shownCells(sheets[0]), checked) << file;
        std::vector<int> hiddenRows;
        for (const TableRow& row : sheets[0].rows)
            if (row.hidden)
                hiddenRows.push_back(row.row);
        EXPECT_EQ(hiddenRows, std::vector<int>{2}) << file;
        EXPECT_EQ(sheets[0].hiddenColumns, std::vector<std::size_t>{3}) << file;
    }
    EXPECT_EQ(readRoster(readFile(TEST_DATA "/roster-web.xls")).records[1].beizhu, u"\u00A0");
    const auto xml = readRoster(readFile(TEST_DATA "/roster-2003.xls"));
    EXPECT_EQ(xml.format, "Excel 2003 XML (SpreadsheetML), sheet \"成绩\"");
    ASSERT_EQ(xml.hiddenSheets.size(), 1u);
    EXPECT_TRUE(xml.hiddenSheets[0].veryHidden);
    EXPECT_EQ(readRoster(readFile(TEST_DATA "/roster-web.xls")).format,
              "HTML table (a web page saved as a spreadsheet), sheet \"表格1\"");
    // The page's charset however it is declared (<meta charset>, any case)
    // read by the reader itself, with or without libxml2's iconv; text that
    // is not in it refused, naming it.
    std::string page = readFile(TEST_DATA "/roster-web.xls");
    const auto meta = page.find("<meta");
    page.replace(meta, page.find('>', meta) + 1 - meta, "<meta charset=\"GBK\">");
    EXPECT_EQ(readRoster(page).records, readRoster(readFile(TEST_DATA "/roster-web.xls")).records);
    page.insert(page.find("</table>"), "\xFF");
    EXPECT_EQ(refusal(page).second.substr(0, 56), "the web page declares the charset gbk but its text is no");
}

// FreeXL's calls that the project's patch adds: a cell's XF, the XF's number
// format, the workbook's own format strings, the number a cell holds, a
// sheet's visibility, a row's; each refuses what the workbook does not have.
TEST(Workbook, freeXlTellsFormatsNumbersAndVisibility)
{
    const void* book = nullptr;
    ASSERT_EQ(freexl_open(TEST_DATA "/gnumeric/roster.xls", &book), FREEXL_OK);
    const std::unique_ptr<const void, int (*)(const void*)> closed(book, freexl_close);
    unsigned short visibility = 9, xf = 0, id = 0;
    ASSERT_EQ(freexl_get_worksheet_visibility(book, 0, &visibility), FREEXL_OK);
    EXPECT_EQ(visibility, FREEXL_SHEET_VISIBLE);
    EXPECT_EQ(freexl_get_worksheet_visibility(book, 7, &visibility), FREEXL_BIFF_ILLEGAL_SHEET_INDEX);
    double number = 0;
    ASSERT_EQ(freexl_select_active_worksheet(book, 0), FREEXL_OK);
    ASSERT_EQ(freexl_get_cell_number(book, 1, 0, &number), FREEXL_OK);
    EXPECT_EQ(number, 10001);
    ASSERT_EQ(freexl_get_cell_xf_index(book, 1, 0, &xf), FREEXL_OK);
    ASSERT_EQ(freexl_get_xf_format_index(book, xf, &id), FREEXL_OK);
    const char* code = nullptr;
    ASSERT_EQ(freexl_get_format_string(book, id, &code), FREEXL_OK);
    EXPECT_STREQ(code, "0000000000");
    EXPECT_EQ(freexl_get_cell_number(book, 3, 3, &number), FREEXL_OK);  // a formula's saved result
    EXPECT_EQ(number, 85.5);
    FreeXL_CellValue value;
    ASSERT_EQ(freexl_get_cell_value(book, 4, 3, &value), FREEXL_OK);  // its string, from the STRING record
    ASSERT_EQ(value.type, FREEXL_CELL_TEXT);
    EXPECT_STREQ(value.value.text_value, "87");
    EXPECT_EQ(freexl_get_cell_number(book, 1, 1, &number), FREEXL_CELL_NOT_NUMERIC);
    EXPECT_EQ(freexl_get_xf_format_index(book, 60000, &id), FREEXL_BIFF_ILLEGAL_XF_INDEX);
    EXPECT_EQ(freexl_get_format_string(book, 0, &code), FREEXL_BIFF_ILLEGAL_FORMAT_INDEX);  // General: built in
    int hidden = 0;
    EXPECT_EQ(freexl_get_row_hidden(book, 6, &hidden), FREEXL_ILLEGAL_CELL_ROW_COL);  // the sheet has 6 rows
}

TEST(Workbook, refusesOtherSpreadsheetFilesWithAdvice)
{
    EXPECT_EQ(refusal("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(504, '\0')),
              std::make_pair(0, std::string("FreeXL cannot read this Excel 97-2003 workbook (.xls) (FreeXL error -11): "
                                            "save it as an Excel workbook (.xlsx) and pack that")));
    EXPECT_EQ(refusal("PK\x03\x04 not an archive"),
              std::make_pair(0, std::string("not a sound workbook: the ZIP archive cannot be opened; save it again as "
                                            ".xlsx in Excel or WPS")));
}

// A compound file's directory entry whose name size overruns its 64-byte
// field, a Workbook stream longer than the mini-stream it is read from, a
// number format longer than its FORMAT record: FreeXL, patched
// (tools/patches/), refuses each rather than read past them.
TEST(Workbook, refusesXlsWhoseLengthsOverrunTheirFields)
{
    const std::string xls = readFile(TEST_DATA "/number-score.xls");
    const std::size_t directory = (9 + 1) * 512;  // its directory's sector, of 512 bytes
    const auto crafted = [&](std::size_t offset, std::string_view bytes) {
        return std::string(xls).replace(offset, bytes.size(), bytes);
    };
    const auto refused = std::make_pair(0, std::string("FreeXL cannot read this Excel 97-2003 workbook (.xls) "
                                                       "(FreeXL error -26): save it as an Excel workbook (.xlsx) "
                                                       "and pack that"));
    EXPECT_EQ(refusal(crafted(directory + 64, "\x42")), refused);  // Root Entry's name: 66 bytes
    EXPECT_EQ(refusal(crafted(directory + 128 + 120, "\xA0\x0F")), refused);  // Workbook: 4000 bytes of 3072
    EXPECT_EQ(refusal(crafted(2476 + 6, "\xFF")), refused);  // the FORMAT record of General: 255 characters in 12 bytes
}

// A roster in two sheets as an office formats it (zero-padded tickets,
// scores with decimals and 分, an average by formula, a remark with a line
// break), saved by LibreOffice as .xlsx and as .ods: each sheet reads as
// LibreOffice's own "as shown" export of it.
TEST(Office, readsEachSheetAsLibreOfficeShowsIt)
{
    for (const char* file : {"roster.xlsx", "roster.ods"}) {
        const std::string bytes = readFile((TEST_DATA "/office/"s + file).c_str());
        const auto read = isOpenDocument(bytes) ? readOds(bytes, "") : readWorkbook(bytes, "");
        ASSERT_EQ(read.size(), 2u);
        EXPECT_EQ(read[1].sheet, "第二考场");
        for (std::size_t k = 0; k < 2; ++k) {
            const std::string csv = TEST_DATA "/office/roster-" + std::to_string(k + 1) + ".csv";
            const auto commas = [](const Table& t) { return !t.rows.empty() && t.rows.front().cells.size() == 7; };
            const auto expected = shownCells(readText(readFile(csv.c_str()), Encoding::Utf8, commas));
            EXPECT_EQ(shownCells(read[k]), expected) << file << " " << csv;
            EXPECT_EQ(expected.size(), 6u * 7 - 3);  // three remarks empty
        }
    }
    const auto records = readRoster(readFile(TEST_DATA "/office/roster.ods"));
    ASSERT_EQ(records.records.size(), 10u);
    EXPECT_EQ(records.records[6], (RosterRecord{u"0000020002", u"110105199002020229", u"钱二甲", u"75.1", u"复核\n加5分"}));
}
