// The default data set, as compiled into the program, keeps every count,
// format and order rule the roster is made to. Skipped when the build takes
// another office's roster, which may differ in all but the import's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "tests/carried_roster.h"

namespace {

class DefaultRoster : public testing::Test {
protected:
    void SetUp() override
    {
#ifndef DEFAULT_ROSTER
        GTEST_SKIP() << "the build compiles another roster";
#endif
    }
    struct Row {
        std::u16string_view zhun, shen, xing, chengji, beizhu;
    };
    static Row row(int k)
    {
        const RosterRecord& r = ROSTER_DATA[k - 1];
        return {r.zhun, r.shen, r.xing, r.chengji, r.beizhu};
    }
};

bool allDigits(std::u16string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

int number(std::u16string_view digits)
{
    int value = 0;
    for (char16_t c : digits)
        value = value * 10 + (c - u'0');
    return value;
}

std::u16string_view group(int k) { return std::u16string_view(ROSTER_DATA[k - 1].zhun).substr(5, 2); }

// The score in tenths, after checking the text is one of the seven forms.
// Returns -1 for a text of no known form.
int scoreTenths(std::u16string_view text, std::map<std::string, int>& forms)
{
    const auto lead = text.find_first_not_of(u' ');
    const auto end = text.find_last_not_of(u' ') + 1;
    if (lead == std::u16string_view::npos)
        return -1;
    const auto number = text.substr(lead, end - lead);
    const auto trail = text.size() - end;
    std::string form = std::to_string(lead) + "/";
    int tenths = -1;
    if (number == u"0" && trail == 3) {
        form += "0";
        tenths = 0;
    } else if (number.size() == 2 && allDigits(number) && number[0] != u'0' && trail == 2) {
        form += "NN";
        tenths = ::number(number) * 10;
    } else if (number.size() == 4 && number[2] == u'.' && allDigits(number.substr(0, 2)) && number[0] != u'0' &&
               allDigits(number.substr(3)) && number[3] != u'0' && trail == 4) {
        form += "NN.N";
        tenths = ::number(number.substr(0, 2)) * 10 + ::number(number.substr(3));
    }
    if (tenths >= 0)
        ++forms[form];
    return tenths;
}

}  // namespace

TEST_F(DefaultRoster, ticketNumbersHaveTheirStructure)
{
    std::set<std::u16string_view> shared, groups, tickets, places;
    std::map<std::u16string_view, std::set<std::u16string_view>> groupsOfRoom, roomsOfGroup;
    std::map<std::u16string_view, int> rowsOfRoom;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const std::u16string_view t = row(k).zhun;
        ASSERT_EQ(t.size(), 11u) << k;
        ASSERT_TRUE(allDigits(t)) << k;
        shared.insert(t.substr(0, 5));
        groups.insert(t.substr(5, 2));
        const auto room = t.substr(7, 2), seat = t.substr(9, 2);
        EXPECT_GE(number(room), 1);
        EXPECT_LE(number(room), 12);
        EXPECT_GE(number(seat), 1);
        EXPECT_LE(number(seat), 30);
        EXPECT_TRUE(places.insert(t.substr(7, 4)).second) << "room and seat repeat on row " << k;
        EXPECT_TRUE(tickets.insert(t).second) << "ticket repeats on row " << k;
        groupsOfRoom[room].insert(t.substr(5, 2));
        roomsOfGroup[t.substr(5, 2)].insert(room);
        ++rowsOfRoom[room];
    }
    EXPECT_EQ(shared.size(), 1u);
    EXPECT_EQ(groups.size(), 14u);
    for (const auto& [room, n] : rowsOfRoom)
        EXPECT_LE(n, 30);
    for (const auto& [room, g] : groupsOfRoom) {
        EXPECT_GE(g.size(), 1u);
        EXPECT_LE(g.size(), 4u);
    }
    for (const auto& [g, rooms] : roomsOfGroup) {
        EXPECT_GE(rooms.size(), 1u);
        EXPECT_LE(rooms.size(), 3u);
    }
}

TEST_F(DefaultRoster, identityNumbersAreDistinctWithTwoFailingTheirCheckCharacter)
{
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    static const char16_t check[] = u"10X98765432";
    std::set<std::u16string_view> seen;
    int withX = 0, withDigit = 0, failing = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const auto id = row(k).shen;
        ASSERT_EQ(id.size(), 18u) << k;
        ASSERT_TRUE(allDigits(id.substr(0, 17))) << k;
        const char16_t last = id[17];
        ASSERT_TRUE(last == u'X' || (last >= u'0' && last <= u'9')) << k;
        (last == u'X' ? withX : withDigit)++;
        int sum = 0;
        for (int i = 0; i < 17; ++i)
            sum += (id[i] - u'0') * weights[i];
        failing += check[sum % 11] != last;
        EXPECT_TRUE(seen.insert(id).second) << "identity number repeats on row " << k;
    }
    EXPECT_EQ(withDigit, 305);
    EXPECT_EQ(withX, 34);
    EXPECT_EQ(failing, 2);
}

TEST_F(DefaultRoster, namesAreTwoOrThreeIdeographsWithOneNameOnThreeRows)
{
    std::map<std::u16string_view, int> rowsOfName;
    int two = 0, three = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const auto name = row(k).xing;
        for (char16_t c : name)
            EXPECT_TRUE(c >= 0x4E00 && c <= 0x9FFF) << k;
        two += name.size() == 2;
        three += name.size() == 3;
        ++rowsOfName[name];
    }
    EXPECT_EQ(two, 57);
    EXPECT_EQ(three, 282);
    EXPECT_EQ(rowsOfName.size(), 337u);
    EXPECT_EQ(std::count_if(rowsOfName.begin(), rowsOfName.end(), [](auto& e) { return e.second == 3; }), 1);
    EXPECT_EQ(std::count_if(rowsOfName.begin(), rowsOfName.end(), [](auto& e) { return e.second == 2; }), 0);
}

TEST_F(DefaultRoster, scoresTakeTheSevenFormsInTheirRange)
{
    std::map<std::string, int> forms;
    int lowest = 1000, highest = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const int tenths = scoreTenths(row(k).chengji, forms);
        ASSERT_GE(tenths, 0) << "row " << k << " has a score of no known form";
        if (tenths) {
            lowest = std::min(lowest, tenths);
            highest = std::max(highest, tenths);
        }
    }
    EXPECT_EQ(forms, (std::map<std::string, int>{{"1/NN.N", 210}, {"2/NN.N", 74}, {"3/NN.N", 9}, {"1/NN", 21},
                                                   {"2/NN", 13}, {"1/0", 9}, {"2/0", 3}}));
    EXPECT_GE(lowest, 211);
    EXPECT_LE(highest, 954);
}

TEST_F(DefaultRoster, remarksHaveTheirCountsAndZeroScoresAreExactlyTheAbsentAndExpelled)
{
    std::map<std::u16string_view, int> remarks;
    std::map<std::string, int> forms;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const auto remark = row(k).beizhu;
        ++remarks[remark];
        const bool zero = scoreTenths(row(k).chengji, forms) == 0;
        EXPECT_EQ(zero, remark == u"缺考" || remark == u"不服从考场纪律管理") << k;
    }
    EXPECT_EQ(remarks, (std::map<std::u16string_view, int>{
                           {u"", 311}, {u"缺考", 11}, {u"进藏兵加5分", 6}, {u"安置到乡镇志愿兵加5分", 6},
                           {u"市委表彰优秀共产党员加5分", 1}, {u"省政府表彰先进个人加5分", 1},
                           {u"个人二等功加5分", 1}, {u"市政府表彰先进个人加5分", 1}, {u"不服从考场纪律管理", 1}}));
}

TEST_F(DefaultRoster, groupsRunContiguouslyOutOfCodeOrderWithScoresDescending)
{
    std::vector<std::u16string_view> runs;
    std::vector<int> sizes;
    std::map<std::string, int> forms;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        if (k == 1 || group(k) != group(k - 1)) {
            EXPECT_EQ(std::count(runs.begin(), runs.end(), group(k)), 0) << "group split at row " << k;
            runs.push_back(group(k));
            sizes.push_back(0);
        } else {
            EXPECT_GE(scoreTenths(row(k - 1).chengji, forms), scoreTenths(row(k).chengji, forms))
                << "row " << k << " scores above the row before it";
        }
        ++sizes.back();
    }
    EXPECT_EQ(runs.size(), 14u);
    EXPECT_FALSE(std::is_sorted(runs.begin(), runs.end()));
    EXPECT_EQ(*std::min_element(sizes.begin(), sizes.end()), 9);
    EXPECT_EQ(*std::max_element(sizes.begin(), sizes.end()), 86);
}
