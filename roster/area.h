// The roster area: the one reserved block of fixed capacity in the program
// file that carries the roster. The build fills it (roster/rosterc);
// varnholt-pack replaces it in a finished program file, where it finds it by
// the marker the area starts with. The program reads it by its symbol.
//
// Layout, integers little-endian:
//   marker       16 bytes, spelled only in the writer (roster/area_write.cpp)
//   version      u32   1
//   capacity     u32   bytes of the whole area, header included
//   payloadSize  u32   bytes of the payload
//   records      u32   1 to ROSTER_MAX_RECORDS
//   flags        u32   bit 0: sealed
//   opsLimit     u32   Argon2id cost of a sealed roster's keys (0 when plain)
//   memLimitKiB  u32
//   checksum     32 bytes: SHA-256 of version to memLimitKiB and of the
//                payload, the bytes of sealed records left out: each of
//                those is authenticated by its own seal, so damage to one
//                costs that candidate only.
//   payload      per record, each text as a varint count of UTF-16 code
//                units and the code units (little-endian):
//                  plain:  zhun shen xing chengji beizhu
//                  sealed: zhun, then a varint count of bytes and the sealed record
//   zero bytes up to the capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "roster/roster.h"

inline constexpr std::size_t ROSTER_AREA_CAPACITY = 768 * 1024;
inline constexpr std::size_t ROSTER_AREA_HEADER = 76;
inline constexpr std::size_t ROSTER_MARKER_SIZE = 16;
inline constexpr std::uint32_t ROSTER_AREA_VERSION = 1;

// The roster as an area holds it.
struct CarriedRoster {
    // Plain: the five texts of every record. Sealed: the ticket number only.
    std::vector<RosterRecord> records;
    // Sealed: each record's sealed name, score text and remark; plain: none.
    std::vector<std::string> sealed;
    std::uint32_t opsLimit = 0, memLimitKiB = 0;  // Argon2id cost of a sealed roster

    bool isSealed() const { return !sealed.empty(); }
};

// An area that does not hold a roster as written: what is wrong with it.
class RosterAreaError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads an area; every count, length and the checksum are checked first.
CarriedRoster decodeArea(std::span<const unsigned char> area);

// The capacity an area's header states, without decoding the rest; 0 if the
// bytes are too short to hold a header.
std::size_t areaCapacity(std::span<const unsigned char> area);
