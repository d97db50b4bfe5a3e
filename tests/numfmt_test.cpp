// The number formatter (office/read/numfmt.h): numbers shown as a
// spreadsheet shows them under a format code, and the codes it refuses.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>

#include "office/read/numfmt.h"
#include "office/read/table.h"
#include "roster/utf.h"
#include "tests/carried_roster.h"

// LibreOffice's own "as shown" text of a few hundred numbers under format
// codes (tools/make_office_fixtures.py): the reader shows each the same, from
// the code and from LibreOffice's .ods of the same sheet (its number styles),
// but where it keeps to Excel. Excel and the reader round the 15-digit
// decimal a cell shows, so 1.005 is 100.5% and shows as 101%, where
// LibreOffice scales the double (100.49999…%) and shows 100%; General keeps
// the reader's E notation from 10^15 and below 10^-4, where LibreOffice
// writes the digits out.
TEST(NumberFormat, showsEveryNumberAsLibreOfficeDoes)
{
    std::map<std::pair<std::string, std::string>, std::string> excel = {{{"1.005", "0%"}, "101%"}};
    for (const auto& [code, unit] : {std::pair{"General", ""}, {"@", ""}, {"General\"分\"", "分"}})
        for (const auto& [value, shown] :
             {std::pair{"1e-05", "1E-05"}, {"1e-07", "1E-07"}, {"1000000000000000.0", "1E+15"}})
            excel[{value, code}] = shown + std::string(unit);
    std::ifstream in(TEST_DATA "/office/numfmt-oracle.tsv", std::ios::binary);
    ASSERT_TRUE(in);
    std::vector<std::array<std::string, 3>> triples;  // value, code, shown
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('#'))
            continue;
        const auto tab = line.find('\t'), tab2 = line.find('\t', tab + 1);
        triples.push_back({line.substr(0, tab), line.substr(tab + 1, tab2 - tab - 1), line.substr(tab2 + 1)});
        if (const auto kept = excel.find({triples.back()[0], triples.back()[1]}); kept != excel.end())
            triples.back()[2] = kept->second;
    }
    ASSERT_EQ(triples.size(), 915u);
    for (const auto& [value, code, shown] : triples) {
        std::string got;
        try {
            got = formatNumber(std::strtod(value.c_str(), nullptr), code);
        } catch (const FormatError& error) {
            got = error.what();
        }
        EXPECT_EQ(got, shown) << value << " under " << code;
    }
    // Row k holds the k-th pair, its number in column C.
    const auto ods = readOds(readFile(TEST_DATA "/office/numfmt-oracle.ods"), "");
    std::map<int, std::u16string> column;
    for (const TableRow& row : ods.at(0).rows)
        for (const Cell& cell : row.cells)
            if (cell.column == 2)
                column[row.row] = cell.problem.empty() ? cell.text : fromUtf8(cell.problem).value();
    for (std::size_t k = 0; k < triples.size(); ++k)
        EXPECT_EQ(toUtf8(column[static_cast<int>(k + 1)]), triples[k][2])
            << triples[k][0] << " under " << triples[k][1] << " in the .ods";
}

// Where LibreOffice counts days otherwise, Excel's calendar: day 60 is the
// 29 February 1900 it keeps, day 1 is 1 January 1900; in the 1904 system day
// 0 is 1 January 1904. What cannot be shown is refused, never guessed.
TEST(NumberFormat, keepsExcelsCalendarAndRefusesWhatItCannotShow)
{
    EXPECT_EQ(formatNumber(60, "yyyy-mm-dd"), "1900-02-29");
    EXPECT_EQ(formatNumber(1, "yyyy-mm-dd ddd"), "1900-01-01 Sun");
    EXPECT_EQ(formatNumber(0, "yyyy-mm-dd", true), "1904-01-01");
    EXPECT_EQ(formatNumber(45000.5, "yyyy\"年\"m\"月\"d\"日\" 上午/下午h\"时\"", true), "2027年3月16日 下午12时");
    // The system's long date and time as Chinese Windows shows them.
    for (const auto& [code, shown] : {std::pair{"[$-F800]dddd, mmmm dd, yyyy", "2025年6月1日"},
                                      {"[$-x-sysdate]dddd, mmmm dd, yyyy", "2025年6月1日"},
                                      {"[$-F400]h:mm:ss AM/PM", "21:30:00"}, {"[$-x-systime]h:mm:ss AM/PM", "21:30:00"},
                                      {"[$-804]yyyy", "2025"}, {"[$-zh-CN]yyyy", "2025"}})
        EXPECT_EQ(formatNumber(45809.8958333333, code), shown) << code;
    // Windows' H: the hour without a zero before it (LibreOffice under zh-CN
    // shows 09:30:00).
    EXPECT_EQ(formatNumber(45809.3958333333, "[$-F400]h:mm:ss AM/PM"), "9:30:00");
    for (const char* code : {"[$-130000]yyyy", "[$-x-gannen]yyyy"}) {
        try {
            formatNumber(45809, code);
            ADD_FAILURE() << code;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string(code).substr(0, std::string(code).find(']') + 1)),
                      std::string::npos) << e.what();
        }
    }
    for (const auto& [value, code] : {std::pair{60.0, "[DBNum1]0"}, {1.5, "# ?/?"}, {2.0, "0.0x"}, {-1.0, "yyyy"},
                                      {5.0, "[>10]0;[<0]0"}, {1.0, "0\"unclosed"}})
        EXPECT_THROW(formatNumber(value, code), FormatError) << code;
}
