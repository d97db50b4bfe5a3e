// A program file as varnholt-pack made it: run by the packing test on a
// packed copy of this test program, which carries its roster area as the
// program does. Every candidate of the roster file finds their name and score
// through the window; a protected roster opens only with the exact identity
// number; a damaged or foreign sealed record costs only its own candidate; a
// roster area whose cost is out of bounds is reported before the window shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "roster/area.h"
#include "office/read/read.h"
#include "tests/driver.h"
#include "tests/shown_model.h"

namespace {

const Messages NONE;
const Messages MISMATCH{{u"警告", u"准考证号与身份证号不一致"}};

Messages query(Driver& driver, std::u16string_view ticket, std::u16string_view identity)
{
    driver.paste("Text1", ticket);
    driver.paste("Text2", identity);
    return driver.click("Command1");
}

}  // namespace

TEST(Packed, everyCandidateFindsTheirScoreAndOnlyWithTheirOwnNumber)
{
    const char* path = std::getenv("VARNHOLT_PACKED_ROSTER");
    if (!path)
        GTEST_SKIP() << "run by the packing test on a packed copy of this program";
    const auto records = readRoster(readFile(path)).records;
    // Tickets whose sealed record was damaged or replaced, comma-separated.
    const char* damaged = std::getenv("VARNHOLT_DAMAGED_TICKETS");
    const std::u16string damagedTickets = damaged ? std::u16string(damaged, damaged + std::strlen(damaged)) : u"";

    Driver driver;
    ASSERT_EQ(driver.form().ROSTER_ROWS, static_cast<int>(records.size()));
    ASSERT_EQ(driver.form().ROSTER_UPPER, driver.form().ROSTER_ROWS + 11);
    for (std::size_t row = 1; row <= records.size(); ++row) {
        const RosterRecord& r = records[row - 1];
        SCOPED_TRACE("row " + std::to_string(row));
        if ((u"," + damagedTickets + u",").find(u"," + r.zhun + u",") != std::u16string::npos) {
            ASSERT_EQ(query(driver, r.zhun, r.shen), MISMATCH);
            continue;
        }
        ASSERT_EQ(query(driver, r.zhun, r.shen), NONE);
        ASSERT_EQ(driver.text("Text3"), r.xing);
        ASSERT_EQ(driver.text("Text4"), modelShownScore(r.chengji, r.beizhu));
        driver.click("Command2");
    }

    // The identity number exactly as given, or nothing opens.
    const RosterRecord& last = records.back();
    const std::u16string other = records.front().shen;
    for (const std::u16string& wrong : {last.shen.substr(1), last.shen.substr(0, last.shen.size() - 1), u" " + last.shen,
                                        last.shen + u" ", other})
        EXPECT_EQ(query(driver, last.zhun, wrong), MISMATCH);
    for (const RosterRecord& r : records)
        if (r.shen.ends_with(u'X')) {  // a lower-case x is another number
            EXPECT_EQ(query(driver, r.zhun, r.shen.substr(0, r.shen.size() - 1) + u'x'), MISMATCH);
            break;
        }
    EXPECT_EQ(query(driver, u"00000000000", last.shen), (Messages{{u"警告", u"无此考生"}}));
}

TEST(Packed, anAreaWhoseCostIsOutOfBoundsIsRunTimeError321)
{
    if (!std::getenv("VARNHOLT_DAMAGED_AREA"))
        GTEST_SKIP() << "run by the packing test on a packed copy of this program with its header changed";
    EXPECT_EXIT(
        {
            Driver driver;
            std::_Exit(0);
        },
        testing::ExitedWithCode(1), "实时错误 '321'");
}
