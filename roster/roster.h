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

// One record in column order, exactly as the data set gives it: from the
// office's file (office/read/read.h) through sealing and back.
struct RosterRecord {
    std::u16string zhun, shen, xing, chengji, beizhu;  // ticket, identity number, name, score text, remark
    bool operator==(const RosterRecord&) const = default;
};

// The fields in column order, for what goes through all five.
inline constexpr std::u16string RosterRecord::* ROSTER_FIELDS[] = {&RosterRecord::zhun, &RosterRecord::shen,
                                                                   &RosterRecord::xing, &RosterRecord::chengji,
                                                                   &RosterRecord::beizhu};

// The roster area of this program file (roster_data.cpp, written at build
// time by office/pack/rosterc from ROSTER_FILE; varnholt-pack may replace it since).
std::span<const unsigned char> rosterArea();

struct CarriedRoster;
struct SiteIndex;
// The roster this program file carries, read from its area on first use; a
// site's page carries none (no records), but the site's index. A damaged
// area is run-time error 321 (the file's format is not valid).
const CarriedRoster& carriedRoster();
const SiteIndex* carriedSite();  // a site's page's index; null in a program file or a single page
