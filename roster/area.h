// The roster area: the one reserved block of fixed capacity in the program
// file that carries the roster. The build fills it (office/pack/rosterc);
// varnholt-pack replaces it in a finished program file, where it finds it by
// the marker the area starts with. The program reads it by its symbol.
//
// Layout, integers little-endian (roster/codec.h writes and reads them):
//   marker       16 bytes, spelled only in the writer (office/write/area_write.cpp)
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
//
// Version 3: a site's (roster/bucket.h). The same layout, two kinds:
//   bucket  a file of the site: flags bit 1 clear; capacity is the file's
//           size (no zeros follow); records sorted by ticket number, plain
//           ones too, and every ticket falls in this bucket; rosterId is
//           the site's random identifier, set when plain too, and with the
//           cost the same in every bucket of the site; sealed records of
//           one size across the whole site.
//           The checksum covers the sealed records too: a bucket damaged
//           anywhere is refused whole, never taken for an answer.
//   index   the page's roster element: flags bit 1 set; records counts the
//           site's buckets; no payload. It names the site: its identifier,
//           cost and whether its records are sealed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "roster/codec.h"
#include "roster/roster.h"
#include "roster/seal.h"

inline constexpr std::size_t ROSTER_AREA_CAPACITY = 768 * 1024;
inline constexpr std::size_t ROSTER_AREA_HEADER = 92;
inline constexpr std::size_t ROSTER_MARKER_SIZE = 16;
inline constexpr std::uint32_t ROSTER_AREA_VERSION = 2;
inline constexpr std::uint32_t ROSTER_SITE_VERSION = 3;
inline constexpr std::uint32_t ROSTER_SITE_INDEX = 2;  // flags bit 1
inline constexpr std::uint32_t ROSTER_MAX_BUCKETS = 1u << 20;

// A roster's records as an area holds them: a program's whole roster, or
// one bucket of a site.
struct CarriedRoster {
    // Plain: the five texts of every record. Sealed: the ticket number only.
    std::vector<RosterRecord> records;
    // Sealed: each record's sealed name, score text and remark; plain: none.
    std::vector<std::string> sealed;
    // Sealed: the roster's identifier and Argon2id cost. Plain: all zero, but
    // a bucket's identifier, which is its site's.
    SealScope scope{};

    bool isSealed() const { return sealsRecords(scope); }
};

// A site's index, which a site's page carries instead of records: the site
// and the number of its buckets.
struct SiteIndex {
    // The site's identifier and, its records sealed, their cost (zero when plain).
    SealScope scope{};
    std::uint32_t buckets = 0;

    bool isSealed() const { return sealsRecords(scope); }
};

// Each reads an area of its kind; every count, length, the cost and the
// checksum are checked first. Anything else is RosterAreaError, an area of
// another kind too.
//   decodeArea       a program's roster (version 2), as a program file or a
//                    single page carries it
//   decodeSiteIndex  a site's index (version 3), as its page carries it
//   decodeSiteBucket a site's bucket (version 3), its order checked too;
//                    decodeBucket (roster/bucket.h) checks it is the one asked for
CarriedRoster decodeArea(std::span<const unsigned char> area);
SiteIndex decodeSiteIndex(std::span<const unsigned char> area);
CarriedRoster decodeSiteBucket(std::span<const unsigned char> file);

// The capacity and the version an area's header states, without decoding
// the rest; 0 if the bytes are too short to hold a header.
std::size_t areaCapacity(std::span<const unsigned char> area);
std::uint32_t areaVersion(std::span<const unsigned char> area);
