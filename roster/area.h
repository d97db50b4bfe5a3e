// The roster area: the one reserved block of fixed capacity in the program
// file that carries the roster. The build fills it (roster/rosterc);
// varnholt-pack replaces it in a finished program file, where it finds it by
// the marker the area starts with. The program reads it by its symbol.
//
// Layout, integers little-endian:
//   marker       16 bytes, spelled only in the writer (roster/area_write.cpp)
//   version      u32   2
//   capacity     u32   bytes of the whole area, header included
//   payloadSize  u32   bytes of the payload
//   records      u32   1 to ROSTER_MAX_RECORDS
//   flags        u32   bit 0: sealed
//   opsLimit     u32   Argon2id cost of a sealed roster's keys, within the
//   memLimitKiB  u32   sane bounds of roster/seal.h (both 0 when plain)
//   rosterId     16 bytes: a sealed roster's random identifier (zero when plain)
//   checksum     32 bytes: SHA-256 of version to rosterId and of the
//                payload, the bytes of sealed records left out: each of
//                those is authenticated by its own seal, so damage to one
//                costs that candidate only.
//   payload      per record, each text as a varint count of UTF-16 code
//                units and the code units (little-endian):
//                  plain:  zhun shen xing chengji beizhu, in the office's order
//                  sealed: zhun, then a varint count of bytes and the sealed
//                          record; sorted by ticket number, every sealed
//                          record of one size
//   zero bytes up to the capacity.
// Version 1 (no identifier, records of their own sizes, in the office's
// order) is refused: its files gave away ranks and remarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "roster/roster.h"
#include "roster/seal.h"

inline constexpr std::size_t ROSTER_AREA_CAPACITY = 768 * 1024;
inline constexpr std::size_t ROSTER_AREA_HEADER = 92;
inline constexpr std::size_t ROSTER_MARKER_SIZE = 16;
inline constexpr std::uint32_t ROSTER_AREA_VERSION = 2;

// The roster as an area holds it.
struct CarriedRoster {
    // Plain: the five texts of every record. Sealed: the ticket number only.
    std::vector<RosterRecord> records;
    // Sealed: each record's sealed name, score text and remark; plain: none.
    std::vector<std::string> sealed;
    // Sealed: the roster's identifier and Argon2id cost; plain: all zero.
    SealScope scope{};

    bool isSealed() const { return !sealed.empty(); }
};

// An area that does not hold a roster as written: what is wrong with it.
class RosterAreaError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads an area; every count, length, the cost and the checksum are checked first.
CarriedRoster decodeArea(std::span<const unsigned char> area);

// The capacity an area's header states, without decoding the rest; 0 if the
// bytes are too short to hold a header.
std::size_t areaCapacity(std::span<const unsigned char> area);
