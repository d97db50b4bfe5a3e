// The roster columns of Form1 and their load.
#include <gtest/gtest.h>

#include "form/form1.h"

namespace {

const Column Form1::* const COLUMNS[] = {&Form1::zhun, &Form1::shen, &Form1::xing, &Form1::chengji, &Form1::beizhu};

int errorNumberReading(const Column& column, int index)
{
    try {
        (void)column(index);
    } catch (const tk::RuntimeError& error) {
        return error.number();
    }
    return 0;
}

}  // namespace

TEST(Column, startsEmptyAndChecksEveryIndex)
{
    Column column;
    for (int k = 0; k <= ROSTER_UPPER; ++k)
        EXPECT_EQ(column(k), u"");
    EXPECT_EQ(errorNumberReading(column, 351), 9);
    EXPECT_EQ(errorNumberReading(column, -1), 9);
    EXPECT_EQ(errorNumberReading(column, 350), 0);
    column(350) += u'x';
    EXPECT_EQ(column(350), u"x");
}

TEST(RosterLoad, eachProcedureFillsOnlyItsOwnColumn)
{
    Form1 form;
    form.xing111();
    EXPECT_EQ(form.xing(1), ROSTER_DATA[0].xing);
    EXPECT_EQ(form.zhun(1), u"");
    EXPECT_EQ(form.shen(1), u"");
    form.zhun111();
    EXPECT_EQ(form.zhun(ROSTER_ROWS), ROSTER_DATA[ROSTER_ROWS - 1].zhun);
    EXPECT_EQ(form.shen(ROSTER_ROWS), u"");
    form.shen111();
    EXPECT_EQ(form.shen(ROSTER_ROWS), ROSTER_DATA[ROSTER_ROWS - 1].shen);
    EXPECT_EQ(form.chengji(1), u"");
    EXPECT_EQ(form.beizhu(1), u"");
}

TEST(RosterLoad, formLoadFillsRowsOneTo339AndLeavesTheRestEmpty)
{
    Form1 form;
    form.Form_Load();
    for (auto column : COLUMNS) {
        EXPECT_EQ((form.*column)(0), u"");
        for (int k = ROSTER_ROWS + 1; k <= ROSTER_UPPER; ++k)
            EXPECT_EQ((form.*column)(k), u"") << k;
        EXPECT_EQ(errorNumberReading(form.*column, ROSTER_UPPER + 1), 9);
    }
    int emptyRemarks = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const RosterRecord& r = ROSTER_DATA[k - 1];
        EXPECT_EQ(form.zhun(k), r.zhun);
        EXPECT_EQ(form.shen(k), r.shen);
        EXPECT_EQ(form.xing(k), r.xing);
        EXPECT_EQ(form.chengji(k), r.chengji);  // spaces and all
        EXPECT_EQ(form.beizhu(k), r.beizhu);
        EXPECT_FALSE(form.zhun(k).empty() || form.shen(k).empty() || form.xing(k).empty() || form.chengji(k).empty());
        emptyRemarks += form.beizhu(k).empty();
    }
#ifdef DEFAULT_ROSTER
    EXPECT_EQ(emptyRemarks, 311);
#endif
}

TEST(RosterLoad, everyTicketAndIdentityNumberFirstMatchesItsOwnRow)
{
    Form1 form;
    form.Form_Load();
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        int ticketRow = 1, identityRow = 1;
        while (form.zhun(ticketRow) != form.zhun(k))
            ++ticketRow;
        while (form.shen(identityRow) != form.shen(k))
            ++identityRow;
        EXPECT_EQ(ticketRow, k);
        EXPECT_EQ(identityRow, k);
    }
}

#ifdef DEFAULT_ROSTER
TEST(RosterLoad, keepsScoreSpacesAndUpperCaseX)
{
    Form1 form;
    form.Form_Load();
    int whole = 0, upperX = 0;
    for (int k = 1; k <= ROSTER_ROWS; ++k) {
        const auto& score = form.chengji(k);
        whole += score.size() == 5 && score[2] != u' ' && score.substr(3) == u"  ";  // " 58  "
        upperX += form.shen(k).back() == u'X';
        EXPECT_NE(form.shen(k).back(), u'x');
    }
    EXPECT_EQ(whole, 21);
    EXPECT_EQ(upperX, 34);
}
#endif
