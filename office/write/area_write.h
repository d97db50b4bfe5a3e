// Writing the roster area: used by the build (office/pack/rosterc) and by
// varnholt-pack, never by the program, so that the marker by which the packer
// finds the area is spelled nowhere in a program file but at the area itself.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "roster/area.h"
#include "office/read/read.h"
#include "office/write/seal.h"

// A roster that does not fit the area.
class AreaFullError : public std::runtime_error {
public:
    AreaFullError(std::size_t needed, std::size_t capacity);
    std::size_t needed, capacity;
};

// The bytes a record takes in an area's payload: in the clear, or sealed,
// its sealed record of `sealedBytes` (sealedSize of the padded size).
std::size_t recordSize(const RosterRecord& record, std::optional<std::size_t> sealedBytes);

// The records, in this order, as an area carries them under `scope`: all
// five texts in the clear when it states no cost; else each record's ticket
// number and the record sealed, padded to `padded` bytes, on every core
// (`progress` hears how many are done). The copies of identity numbers and
// texts made for sealing are wiped, however it ends.
CarriedRoster carryRecords(std::span<const RosterRecord* const> records, const SealScope& scope, std::size_t padded,
                           const std::function<void(std::size_t done)>& progress = {});

// The roster to carry in an area of `capacity` (0: any): the records in the
// clear, in the office's order, or, given a cost, sorted by ticket number
// and each sealed with its identity number under a new roster identifier,
// all padded to one size. Throws AreaFullError, before any sealing, when it
// would not fit, and std::invalid_argument for a cost that is not sane.
CarriedRoster toCarry(const std::vector<RosterRecord>& records, std::size_t capacity,
                      std::optional<SealCost> seal = std::nullopt,
                      const std::function<void(std::size_t done)>& progress = {});

// The bytes an area needs for the records, in the clear or sealed: known
// without sealing, to say what fits before any work.
std::size_t areaNeeded(const std::vector<RosterRecord>& records, bool sealed);

// The program's area (version 2) of `capacity` bytes for the roster, marker
// first; with capacity 0, of exactly the bytes it needs.
std::string encodeArea(const CarriedRoster& roster, std::size_t capacity = ROSTER_AREA_CAPACITY);

// A site's files (version 3, roster/area.h), each of exactly the bytes it
// needs: a bucket, its records in ticket order, and the index its page carries.
std::string encodeBucket(const CarriedRoster& bucket);
std::string encodeSiteIndex(const SiteIndex& index);

// Offset of the roster area in a program file: the first marker followed by
// a whole, sound area. Nothing if it has none; RosterAreaError naming the
// version if it has only an area of an earlier version.
std::optional<std::size_t> findArea(std::span<const unsigned char> program);
