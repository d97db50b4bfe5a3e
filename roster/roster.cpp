// The roster columns and their load from the compiled data set.
#include "form/form1.h"

std::size_t Column::checked(int index)
{
    if (index < 0 || index > ROSTER_UPPER)
        throw tk::subscriptError();
    return static_cast<std::size_t>(index);
}

// Each procedure assigns rows 1 to ROSTER_ROWS of its own column, in order.
void Form1::xing111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        xing(row) = ROSTER_DATA[row - 1].xing;
}

void Form1::zhun111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        zhun(row) = ROSTER_DATA[row - 1].zhun;
}

void Form1::shen111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        shen(row) = ROSTER_DATA[row - 1].shen;
}
