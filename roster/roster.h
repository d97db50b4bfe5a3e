// The roster: the program's only data, five parallel columns of Form1.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr int ROSTER_ROWS = 339;   // candidates, in rows 1 to ROSTER_ROWS
inline constexpr int ROSTER_UPPER = 350;  // highest index of every column

// A roster column: ROSTER_UPPER + 1 UTF-16 texts, indexes 0 to ROSTER_UPPER,
// each empty until assigned. Every index is checked: one outside the bounds
// is run-time error 9, never an empty text.
class Column {
public:
    std::u16string& operator()(int index) { return texts_[checked(index)]; }
    const std::u16string& operator()(int index) const { return texts_[checked(index)]; }

private:
    static std::size_t checked(int index);

    std::array<std::u16string, ROSTER_UPPER + 1> texts_;
};

// One record of the data set in column order, exactly as the data set gives it.
struct RosterRecord {
    std::u16string_view zhun, shen, xing, chengji, beizhu;
};

// The data set, compiled into the program from ROSTER_FILE at build time
// (roster_data.cpp, written by tools/rosterc).
extern const RosterRecord ROSTER_DATA[ROSTER_ROWS];
