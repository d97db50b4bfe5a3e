// The roster: the program's only data, five parallel columns of Form1,
// copied in Form_Load from the roster area the program file carries.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// The most records a roster may hold: the query's 16-bit row counter must
// reach one past the last row.
inline constexpr std::size_t ROSTER_MAX_RECORDS = 32766;

// A roster column: texts at indexes 0 to `upper`, each empty until assigned.
// The capacity is fixed when the column is made. Every index is checked: one
// outside the bounds is run-time error 9, never an empty text.
class Column {
public:
    explicit Column(int upper) : texts_(static_cast<std::size_t>(upper) + 1) {}
    std::u16string& operator()(int index) { return texts_[checked(index)]; }
    const std::u16string& operator()(int index) const { return texts_[checked(index)]; }

private:
    std::size_t checked(int index) const;

    std::vector<std::u16string> texts_;
};

// One record in column order, exactly as the data set gives it.
struct RosterRecord {
    std::u16string zhun, shen, xing, chengji, beizhu;
    bool operator==(const RosterRecord&) const = default;
};

// The roster area of this program file (roster_data.cpp, written at build
// time by office/pack/rosterc from ROSTER_FILE; varnholt-pack may replace it since).
std::span<const unsigned char> rosterArea();

struct CarriedRoster;
// The roster this program file carries, read from its area on first use. A
// damaged area is run-time error 321 (the file's format is not valid).
const CarriedRoster& carriedRoster();
