// The score query as a candidate meets it: typed numbers, a click on 确  定,
// then a warning box or the result state.
#include <gtest/gtest.h>

#include <map>

#include "tests/driver.h"
#include "tests/shown_model.h"

namespace {

const Messages NONE;

// Far beyond the toolkits' default limit of 32767. Wine's edit control takes
// time quadratic in the length, so the Windows build is tested with less.
#ifdef _WIN32
constexpr std::size_t LONG_INPUT = 40'000;
#else
constexpr std::size_t LONG_INPUT = 1'000'000;
#endif
Messages warning(std::u16string prompt) { return {{u"警告", std::move(prompt)}}; }

std::u16string ticket(int row) { return std::u16string(ROSTER_DATA[row - 1].zhun); }
std::u16string identity(int row) { return std::u16string(ROSTER_DATA[row - 1].shen); }

// First row that satisfies the condition.
template <typename Condition>
int rowWhere(Condition condition)
{
    for (int k = 1; k <= ROSTER_ROWS; ++k)
        if (condition(ROSTER_DATA[k - 1]))
            return k;
    throw std::runtime_error("no such row in the roster");
}

class Query : public testing::Test {
protected:
    Driver driver;

    Messages query(std::u16string_view ticketNumber, std::u16string_view identityNumber)
    {
        if (!ticketNumber.empty())
            driver.type("Text1", ticketNumber);
        if (!identityNumber.empty())
            driver.type("Text2", identityNumber);
        return driver.click("Command1");
    }

    void expectInputStateWith(std::u16string_view text1, std::u16string_view text2)
    {
        EXPECT_EQ(driver.text("Text1"), text1);
        EXPECT_EQ(driver.text("Text2"), text2);
        EXPECT_TRUE(driver.visible("Command1"));
        for (auto name : {"Label6", "Label7", "Text3", "Text4", "Command2", "Command3"})
            EXPECT_FALSE(driver.visible(name)) << name;
        EXPECT_EQ(driver.text("Text3"), u"");
        EXPECT_EQ(driver.text("Text4"), u"");
    }

    void expectResult(int row, std::u16string_view score)
    {
        EXPECT_EQ(driver.text("Text3"), ROSTER_DATA[row - 1].xing);
        EXPECT_EQ(driver.text("Text4"), score);
        for (auto name : {"Label3", "Label5", "Label1", "Text1", "Label2", "Text2", "Label6", "Text3", "Label7",
                          "Text4", "Command2", "Command3", "Label8"})
            EXPECT_TRUE(driver.visible(name)) << name;
        EXPECT_FALSE(driver.visible("Command1"));
        EXPECT_FALSE(driver.enabled("Text3"));
        EXPECT_FALSE(driver.enabled("Text4"));
    }
};

}  // namespace

TEST_F(Query, asksForTheTicketNumberFirstThenTheIdentityNumber)
{
    EXPECT_EQ(query(u"", u""), warning(u"请输入准考证号"));
    EXPECT_TRUE(driver.lastMessageWasPlain());  // one OK button, no icon
    EXPECT_EQ(driver.lastButton(), u"确定");
    expectInputStateWith(u"", u"");

    EXPECT_EQ(query(u"", identity(1)), warning(u"请输入准考证号"));
    expectInputStateWith(u"", identity(1));
}

TEST_F(Query, asksForTheIdentityNumberWhetherOrNotTheTicketExists)
{
    EXPECT_EQ(query(ticket(5), u""), warning(u"请输入身份证号"));
    expectInputStateWith(ticket(5), u"");
    driver.type("Text1", u"9");
    EXPECT_EQ(driver.click("Command1"), warning(u"请输入身份证号"));
}

TEST_F(Query, inputWhileAWarningIsOpenCannotReachTheBoxes)
{
    driver.type("Text1", ticket(5));
    EXPECT_EQ(driver.click("Command1", u"510104"), warning(u"请输入身份证号"));
    expectInputStateWith(ticket(5), u"");
}

TEST_F(Query, unknownTicketIsNoSuchCandidate)
{
    EXPECT_EQ(query(u"10731000000", identity(1)), warning(u"无此考生"));
    EXPECT_TRUE(driver.lastMessageWasPlain());
    expectInputStateWith(u"10731000000", identity(1));
}

TEST_F(Query, ticketWithSpacesAroundItIsNoSuchCandidate)
{
    EXPECT_EQ(query(u" " + ticket(7), identity(7)), warning(u"无此考生"));
    driver.click("Command2");  // hidden in the input state: nothing happens
    driver.paste("Text1", ticket(7) + u" ");
    EXPECT_EQ(driver.click("Command1"), warning(u"无此考生"));
}

TEST_F(Query, spacesOnlyTicketIsNoSuchCandidate)
{
    EXPECT_EQ(query(u"   ", identity(7)), warning(u"无此考生"));
}

TEST_F(Query, identityWithSpacesIsAMismatch)
{
    EXPECT_EQ(query(ticket(7), identity(7) + u" "), warning(u"准考证号与身份证号不一致"));
    expectInputStateWith(ticket(7), identity(7) + u" ");
}

TEST_F(Query, spacesOnlyIdentityIsAMismatch)
{
    EXPECT_EQ(query(ticket(7), u"  "), warning(u"准考证号与身份证号不一致"));
}

TEST_F(Query, lowerCaseXIsAMismatch)
{
    const int row = rowWhere([](const RosterRecord& r) { return r.shen.back() == u'X'; });
    std::u16string lower = identity(row);
    lower.back() = u'x';
    EXPECT_EQ(query(ticket(row), lower), warning(u"准考证号与身份证号不一致"));
}

TEST_F(Query, anotherCandidatesIdentityIsAMismatchAndShowsNothing)
{
    EXPECT_EQ(query(ticket(10), identity(11)), warning(u"准考证号与身份证号不一致"));
    EXPECT_TRUE(driver.lastMessageWasPlain());
    expectInputStateWith(ticket(10), identity(11));
}

TEST_F(Query, firstAndLastRowsAreFound)
{
    EXPECT_EQ(query(ticket(1), identity(1)), NONE);
    expectResult(1, modelShownScore(ROSTER_DATA[0].chengji, ROSTER_DATA[0].beizhu));
    driver.click("Command2");
    EXPECT_EQ(query(ticket(ROSTER_ROWS), identity(ROSTER_ROWS)), NONE);
    const RosterRecord& last = ROSTER_DATA[ROSTER_ROWS - 1];
    expectResult(ROSTER_ROWS, modelShownScore(last.chengji, last.beizhu));
}

TEST_F(Query, resultShowsTrimmedScoreThenOneSpaceThenTheRemark)
{
    const int plain = rowWhere([](const RosterRecord& r) { return r.beizhu.empty() && r.chengji.starts_with(u"   "); });
    EXPECT_EQ(query(ticket(plain), identity(plain)), NONE);
    const std::u16string score(ROSTER_DATA[plain - 1].chengji.substr(3, 4));  // "   77.6    "
    expectResult(plain, score + u" ");  // an empty remark leaves the one space

    driver.click("Command2");
    const int bonus = rowWhere([](const RosterRecord& r) { return r.beizhu == u"进藏兵加5分"; });
    EXPECT_EQ(query(ticket(bonus), identity(bonus)), NONE);
    expectResult(bonus, modelShownScore(ROSTER_DATA[bonus - 1].chengji, u"进藏兵加5分"));

    driver.click("Command2");
    const int absent = rowWhere([](const RosterRecord& r) { return r.beizhu == u"缺考"; });
    EXPECT_EQ(query(ticket(absent), identity(absent)), NONE);
    expectResult(absent, u"0 缺考");
}

TEST_F(Query, candidatesSharingANameAreEachFoundByTheirOwnTicket)
{
    std::map<std::u16string_view, std::vector<int>> rowsOfName;
    for (int k = 1; k <= ROSTER_ROWS; ++k)
        rowsOfName[ROSTER_DATA[k - 1].xing].push_back(k);
    std::vector<int> shared;
    for (const auto& [name, rows] : rowsOfName)
        if (rows.size() > 1)
            shared = rows;
    ASSERT_GE(shared.size(), 2u);
    for (int row : shared) {
        EXPECT_EQ(query(ticket(row), identity(row)), NONE);
        expectResult(row, modelShownScore(ROSTER_DATA[row - 1].chengji, ROSTER_DATA[row - 1].beizhu));
        driver.click("Command2");
    }
    // Each one's identity number opens only that candidate's own row.
    EXPECT_EQ(query(ticket(shared[0]), identity(shared[1])), warning(u"准考证号与身份证号不一致"));
}

TEST_F(Query, editingTheInputsAfterAResultChangesNothing)
{
    ASSERT_EQ(query(ticket(3), identity(3)), NONE);
    driver.type("Text1", u"123");
    driver.type("Text2", u"456");
    EXPECT_EQ(driver.click("Command1"), NONE);  // hidden: the click lands on the disabled Text4
    expectResult(3, modelShownScore(ROSTER_DATA[2].chengji, ROSTER_DATA[2].beizhu));
    EXPECT_EQ(driver.text("Text1"), ticket(3) + u"123");
}

TEST_F(Query, veryLongPastedInputIsKeptWholeAndAnswered)
{
    const std::u16string longTicket(LONG_INPUT, u'1');
    driver.paste("Text1", longTicket);
    driver.paste("Text2", identity(1) + longTicket);
    EXPECT_EQ(driver.text("Text1").size(), LONG_INPUT);
    EXPECT_EQ(driver.form().Text1.text().size(), LONG_INPUT);
    EXPECT_EQ(driver.click("Command1"), warning(u"无此考生"));
    driver.paste("Text1", ticket(2));
    EXPECT_EQ(driver.click("Command1"), warning(u"准考证号与身份证号不一致"));
}

TEST_F(Query, hostileTextIsComparedCodeUnitByCodeUnit)
{
    // An unpaired surrogate, a right-to-left mark and full-width digits match no ticket.
    for (const std::u16string& text :
         {std::u16string(u"\xD800") + ticket(1), u"\u200F" + ticket(1), std::u16string(u"１０７３１０５０４１９")}) {
        driver.paste("Text1", text);
        driver.paste("Text2", identity(1));
        EXPECT_EQ(driver.form().Text1.text(), text);
        EXPECT_EQ(driver.click("Command1"), warning(u"无此考生"));
    }
}

TEST_F(Query, aNulCodeUnitIsKeptOrEndsThePaste)
{
    // Qt keeps a NUL like any code unit; a Win32 edit box ends the text there,
    // as Windows does with every paste. Either way the query answers what the box holds.
    driver.paste("Text1", ticket(1) + std::u16string(1, u'\0') + u"9");
    driver.paste("Text2", identity(1));
    if (driver.form().Text1.text() == ticket(1)) {
        EXPECT_EQ(driver.click("Command1"), NONE);
        EXPECT_EQ(driver.text("Text3"), ROSTER_DATA[0].xing);
    } else {
        EXPECT_EQ(driver.form().Text1.text(), ticket(1) + std::u16string(1, u'\0') + u"9");
        EXPECT_EQ(driver.click("Command1"), warning(u"无此考生"));
    }
}

TEST(QueryEveryCandidate, everyCandidateOfTheRosterCanLookUpTheirResult)
{
    Driver driver;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        driver.type("Text1", ticket(k));
        driver.type("Text2", identity(k));
        ASSERT_EQ(driver.click("Command1"), NONE) << "row " << k;
        ASSERT_EQ(driver.text("Text3"), ROSTER_DATA[k - 1].xing) << "row " << k;
        ASSERT_EQ(driver.text("Text4"), modelShownScore(ROSTER_DATA[k - 1].chengji, ROSTER_DATA[k - 1].beizhu))
            << "row " << k;
        driver.click("Command2");
    }
}
