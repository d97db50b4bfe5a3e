// Sealing a protected roster's records (roster/seal.h says what a sealed
// record is), the cost it is sealed at, and timing that cost on this machine.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "roster/seal.h"

// The cheapest cost libsodium accepts: for tests only.
inline constexpr SealCost TEST_COST{1, 8};

// A cost's memory as a report shows it: "64 MiB", or "8 KiB" where it is
// not a whole number of MiB.
std::string memoryText(SealCost cost);

RosterId newRosterId();

// Throws std::invalid_argument for a cost outside the bounds a roster may
// state (isSaneCost): one of zero would read as a plain roster's.
void checkCost(SealCost cost);

// The cost every roster is sealed at unless the office chooses another: the
// same on every packing machine, chosen for the slowest device candidates
// look up on, a mid-range phone's browser, where one lookup takes at most
// about 2 s. It is more than RFC 9106's second recommended setting (3
// passes over 64 MiB).
inline constexpr SealCost DEFAULT_SEAL_COST{4, 64 * 1024};
// --cost auto: about this long on the packing machine, never below the default.
inline constexpr double AUTO_SEAL_SECONDS = 0.25;

// The size every record of a roster is padded to: beyond the longest
// plaintext among them (name, score text and remark), rounded up to a block
// of 16 bytes; the largest of what each record alone would need.
std::size_t paddedSize(const std::vector<RosterRecord>& records);
std::size_t paddedSize(const RosterRecord& record);

// The size of a record once sealed, padded to `padded` bytes: known before
// the work of sealing, to check that a roster fits.
std::size_t sealedSize(std::size_t padded);

// Seals the record's name, score text and remark under a key derived from
// its identity number's UTF-16 code units (little-endian), bound to its
// ticket number, with a fresh random salt and nonce; the plaintext is padded
// to `padded` bytes. Throws std::invalid_argument for a cost that is not
// sane, a plaintext longer than `padded` allows or a text with an unpaired
// surrogate, std::bad_alloc when the key derivation finds not the memory it
// needs. The key and every copy of the plaintext are wiped on every path.
std::string sealRecord(const RosterRecord& record, const SealScope& scope, std::size_t padded);

// Time for one key derivation on this machine, split as a guesser sees it:
// a fixed part (taking the memory from the system and touching it first),
// which a guesser who keeps the memory pays once, and the time of each pass.
struct DerivationTime {
    double fixed, perPass;  // seconds
};
DerivationTime timeDerivation(std::uint32_t memKiB);

// The cost of about `seconds` of wall-clock time for one key derivation on
// this machine: the memory of `floor` and the passes timed to fit, never
// fewer than the floor's and at most MAX_SEAL_PASSES. A busy machine only
// ever slows a derivation, so each timing is the fastest of several runs.
// Throws std::invalid_argument for a floor that is not sane.
SealCost calibrateCost(double seconds, SealCost floor);

// Seals every record, one thread per core (each holds the cost's memory),
// in their order, all padded to paddedSize(records), or to `paddedTo` (a
// site's bucket, padded as the whole roster). `progress` is called on the
// calling thread with the number of records sealed so far, after each one.
// Throws as sealRecord does.
std::vector<std::string> sealAll(const std::vector<RosterRecord>& records, const SealScope& scope,
                                 const std::function<void(std::size_t done)>& progress,
                                 std::optional<std::size_t> paddedTo = std::nullopt);
