// The roster columns and their load from the roster area.
#include "form/form1.h"
#include "roster/area.h"

std::size_t Column::checked(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= texts_.size())
        throw tk::subscriptError();
    return static_cast<std::size_t>(index);
}

const CarriedRoster& carriedRoster()
{
    static const CarriedRoster roster = [] {
        try {
            return decodeArea(rosterArea());
        } catch (const RosterAreaError&) {
            throw tk::RuntimeError(321, u"文件格式无效：程序文件中的名单已损坏");
        }
    }();
    return roster;
}

// Each procedure assigns rows 1 to ROSTER_ROWS of its own column, in order.
void Form1::xing111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        xing(row) = carriedRoster().records[row - 1].xing;
}

void Form1::zhun111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        zhun(row) = carriedRoster().records[row - 1].zhun;
}

void Form1::shen111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        shen(row) = carriedRoster().records[row - 1].shen;
}
