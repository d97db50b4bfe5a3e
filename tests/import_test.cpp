// The build-time import: what it accepts, what it stores, and the line and
// problem it names for every data set the program cannot rely on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "roster/import.h"
#include "tests/carried_roster.h"

namespace {

// A valid data set of `rows` records, one line per element, header first.
std::vector<std::string> validLines(int rows = 339)
{
    std::vector<std::string> lines{std::string(ROSTER_HEADER)};
    for (int k = 1; k <= rows; ++k) {
        const std::string n = std::to_string(1000 + k);
        lines.push_back("1073102" + n + "\t51010419900101" + n + "\t张三\t 6" + std::to_string(k % 10) +
                        ".5    \t" + (k % 7 ? "" : "缺考"));
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

// The line and message the import refuses the text with.
std::pair<int, std::string> refusal(const std::string& text)
{
    try {
        importRoster(text, 339);
    } catch (const ImportError& error) {
        return {error.line, error.what()};
    }
    return {0, "accepted"};
}

// Refusal of a valid data set whose line `line` (counted from 1) is replaced.
std::pair<int, std::string> refusalWithLine(int line, const std::string& content)
{
    auto lines = validLines();
    lines[line - 1] = content;
    return refusal(join(lines));
}

std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

TEST(Import, storesEveryFieldExactlyAsGiven)
{
    auto lines = validLines();
    lines[3] = "10731020003\t51010419900101100X\t欧阳 娜娜\t  0   \t";
    const auto records = importRoster(join(lines), 339);
    ASSERT_EQ(records.size(), 339u);
    EXPECT_EQ(records[0][0], u"10731021001");
    EXPECT_EQ(records[2][1], u"51010419900101100X");
    EXPECT_EQ(records[2][2], u"欧阳 娜娜");
    EXPECT_EQ(records[2][3], u"  0   ");  // score spaces kept
    EXPECT_EQ(records[2][4], u"");
    EXPECT_EQ(records[6][4], u"缺考");
}

TEST(Import, acceptsSpreadsheetExportWithBomAndCrlfAndStoresNeither)
{
    const std::string plain = join(validLines());
    const std::string exported = "\xEF\xBB\xBF" + join(validLines(), "\r\n");
    EXPECT_EQ(importRoster(exported, 339), importRoster(plain, 339));
    for (const auto& record : importRoster(exported, 339))
        for (const auto& field : record)
            EXPECT_EQ(field.find_first_of(u"\r\uFEFF"), std::u16string::npos);
}

TEST(Import, acceptsLastRecordWithoutLineEnd)
{
    std::string text = join(validLines());
    text.pop_back();
    EXPECT_EQ(importRoster(text, 339).size(), 339u);
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
    EXPECT_EQ(importRoster(exported, 339), importRoster(plain, 339));
}

TEST(Import, compiledRosterEqualsTheFileRecordByRecord)
{
    const auto records = importRoster(readFile(ROSTER_PATH), 339);
    for (int k = 0; k < 339; ++k) {
        const RosterRecord& r = ROSTER_DATA[k];
        EXPECT_EQ((RosterFields{std::u16string(r.zhun), std::u16string(r.shen), std::u16string(r.xing),
                                std::u16string(r.chengji), std::u16string(r.beizhu)}),
                  records[k])
            << "record " << k + 1;
    }
}

TEST(Import, refusesTextThatIsNotUtf8)
{
    for (const std::string bad : {"\xB7\xF6", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE5\xBC"}) {
        auto lines = validLines();
        lines[4] = "10731020004\t510104199001011004\t" + bad + "\t 60.5    \t";
        const auto [line, message] = refusal(join(lines));
        EXPECT_EQ(line, 5);
        EXPECT_NE(message.find("not valid UTF-8"), std::string::npos) << message;
        EXPECT_NE(message.find("save the roster as UTF-8"), std::string::npos) << message;
    }
    // A name saved as GBK after the last record: the first bad byte is named.
    const auto [line, message] = refusal(join(validLines()) + "\xD5\xC5\xC8\xFD\n");
    EXPECT_EQ(line, 341);
    EXPECT_NE(message.find("byte 0xD5 at column 1"), std::string::npos) << message;
}

TEST(Import, refusesMissingOrDifferentHeader)
{
    EXPECT_EQ(refusal("").first, 1);
    EXPECT_NE(refusal("").second.find("empty"), std::string::npos);
    for (const std::string header : {"zhun\tshen\txing\tchengji", "ZHUN\tSHEN\tXING\tCHENGJI\tBEIZHU",
                                     "zhun,shen,xing,chengji,beizhu", "zhun\tshen\txing\tchengji\tbeizhu\t"}) {
        const auto [line, message] = refusalWithLine(1, header);
        EXPECT_EQ(line, 1);
        EXPECT_NE(message.find("header"), std::string::npos) << message;
    }
    // A data set that starts with a record has no header either.
    auto lines = validLines();
    lines.erase(lines.begin());
    EXPECT_EQ(refusal(join(lines)).first, 1);
}

TEST(Import, refusesRecordsWithOtherThanFiveFields)
{
    EXPECT_EQ(refusalWithLine(7, "10731020006\t510104199001011006\t李四\t 60.5    "),
              std::make_pair(7, std::string("expected 5 tab-separated fields (zhun, shen, xing, chengji, beizhu), "
                                            "found 4")));
    EXPECT_EQ(refusalWithLine(9, "10731020008\t510104199001011008\t李四\t 60.5    \t\t").second.substr(0, 50),
              "expected 5 tab-separated fields (zhun, shen, xing,");
    EXPECT_EQ(refusalWithLine(9, "").first, 9);  // an empty line in the middle
    auto lines = validLines();
    lines.push_back("");
    EXPECT_EQ(refusal(join(lines)).first, 341);  // a blank line after the last record is one too many
}

TEST(Import, refusesOtherThan339Records)
{
    const auto [shortLine, shortMessage] = refusal(join(validLines(338)));
    EXPECT_EQ(shortLine, 339);
    EXPECT_EQ(shortMessage, "the file ends after 338 records: the roster must have exactly 339");
    const auto [longLine, longMessage] = refusal(join(validLines(340)));
    EXPECT_EQ(longLine, 341);
    EXPECT_EQ(longMessage, "more than 339 records: the roster must have exactly 339");
    EXPECT_EQ(refusal(join({std::string(ROSTER_HEADER)})).second,
              "the file ends after 0 records: the roster must have exactly 339");
}

TEST(Import, refusesEmptyTicketOrIdentityNumber)
{
    EXPECT_EQ(refusalWithLine(12, "\t510104199001011011\t李四\t 60.5    \t"),
              std::make_pair(12, std::string("the ticket number (zhun) is empty")));
    EXPECT_EQ(refusalWithLine(340, "10731020339\t\t李四\t 60.5    \t"),
              std::make_pair(340, std::string("the identity number (shen) is empty")));
}

TEST(Import, refusesBlanksAroundTicketOrIdentityNumber)
{
    EXPECT_EQ(refusalWithLine(3, " 10731021002\t510104199001011002\t李四\t 60.5    \t"),
              std::make_pair(3, std::string("the ticket number (zhun) \" 10731021002\" has a blank (U+0020) before it")));
    EXPECT_EQ(refusalWithLine(4, "10731021003\t510104199001011003\u3000\t李四\t 60.5    \t"),
              std::make_pair(4, std::string("the identity number (shen) \"510104199001011003\u3000\" has a blank "
                                            "(U+3000) after it")));
    for (const std::string blank : {"\u00A0", "\v", "\u200B", "\uFEFF", "\u2003"}) {
        EXPECT_EQ(refusalWithLine(5, "10731021004" + blank + "\t510104199001011004\t李四\t 60.5    \t").first, 5)
            << blank;
        EXPECT_EQ(refusalWithLine(5, "10731021004\t" + blank + "510104199001011004\t李四\t 60.5    \t").first, 5)
            << blank;
    }
}

TEST(Import, refusesRepeatedTicketNumberNamingBothLines)
{
    EXPECT_EQ(refusalWithLine(200, "10731021002\t510104199001012000\t李四\t 60.5    \t"),
              std::make_pair(200, std::string("the ticket number 10731021002 repeats the one on line 3")));
}

TEST(Import, refusesCarriageReturnInsideALine)
{
    const auto [line, message] = refusalWithLine(6, "10731021005\t510104199001011005\t李\r四\t 60.5    \t");
    EXPECT_EQ(line, 6);
    EXPECT_NE(message.find("carriage return"), std::string::npos);
}
