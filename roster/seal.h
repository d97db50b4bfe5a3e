// A protected roster keeps each candidate's name, score text and remark in a
// sealed record that only the candidate's own identity number opens: the key
// is derived from the identity number with Argon2id and a random salt, and the
// record is sealed with XChaCha20-Poly1305 (libsodium). The ticket number
// stays in the clear. Bound to each record as associated data are the
// roster's random identifier, the cost and the ticket number, so a record
// opens in its own row of its own roster file only.
//
// A sealed record: salt (16 bytes) | nonce (24 bytes) | ciphertext and tag.
// The plaintext: name, score text and remark in UTF-8, each after its length
// in bytes (LEB128), padded (ISO/IEC 7816-4, sodium_pad) to one size for the
// whole roster: every sealed record of a file has the same size, which tells
// nothing about its texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Argon2id parameters, chosen when the roster is made and stored with it.
struct SealCost {
    std::uint32_t opsLimit;     // passes
    std::uint32_t memLimitKiB;  // memory, in KiB
};

// The cheapest cost libsodium accepts: for tests only.
inline constexpr SealCost TEST_COST{1, 8};

// The costs a roster may state: one pass to a few hundred (a quarter of a
// second is about ten passes over 64 MiB), and from libsodium's least memory
// to 512 MiB, what the 32-bit Windows program can take in one piece (under
// Wine 512 MiB is found, 640 MiB is not). Anything else is a damaged roster,
// never a hang or a failed allocation.
inline constexpr std::uint32_t MAX_SEAL_PASSES = 256;
inline constexpr std::uint32_t MAX_SEAL_MEM_KIB = 512 * 1024;
bool isSaneCost(SealCost cost);

// A roster's random identifier, made anew each time a roster is sealed.
using RosterId = std::array<unsigned char, 16>;
RosterId newRosterId();

// What every record of one roster is bound to besides its ticket number.
struct SealScope {
    RosterId rosterId;
    SealCost cost;
};

// The cost every roster is sealed at unless the office chooses another: the
// same on every packing machine, chosen for the slowest device candidates
// look up on, a mid-range phone's browser, where one lookup takes at most
// about 2 s. It is more than RFC 9106's second recommended setting (3
// passes over 64 MiB).
inline constexpr SealCost DEFAULT_SEAL_COST{4, 64 * 1024};
// --cost auto: about this long on the packing machine, never below the default.
inline constexpr double AUTO_SEAL_SECONDS = 0.25;

struct OpenedRecord {
    std::u16string xing, chengji, beizhu;  // name, score text, remark

    bool operator==(const OpenedRecord&) const = default;
};

struct SealInput {
    std::u16string ticket, identity;
    OpenedRecord record;
};

// The size every record of a roster is padded to: beyond the longest
// plaintext among them, rounded up to a block of 16 bytes; the largest of
// what each record alone would need.
std::size_t paddedSize(const std::vector<SealInput>& inputs);
std::size_t paddedSize(const OpenedRecord& record);

// The size of a record once sealed, padded to `padded` bytes: known before
// the work of sealing, to check that a roster fits.
std::size_t sealedSize(std::size_t padded);

// Seals the record under a key derived from the identity number's UTF-16
// code units (little-endian), with a fresh random salt and nonce; the
// plaintext is padded to `padded` bytes. Throws std::invalid_argument for a
// cost that is not sane, a plaintext longer than `padded` allows or a text
// with an unpaired surrogate, std::bad_alloc when the key derivation finds
// not the memory it needs. The key and every copy of the plaintext are wiped
// on every path.
std::string sealRecord(std::u16string_view ticket, std::u16string_view identity, const OpenedRecord& record,
                       const SealScope& scope, std::size_t padded);

// The record, or nothing when it does not open with this identity number:
// another number, damaged bytes, another row's or another roster's record, a
// cost that is not sane. Never throws for bad input; throws std::bad_alloc
// when the key derivation finds not the memory it needs. The key and the
// plaintext are wiped before it returns.
std::optional<OpenedRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
                                       std::u16string_view identity, const SealScope& scope);

// Derives one throwaway key over the cost's memory, in one pass: the memory
// a derivation takes is then taken from the system and touched, and its code
// run once, so that the first lookup costs what later ones do. For the web
// page, which does it when idle after loading.
void warmUpDerivation(SealCost cost);

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
// in input order, all padded to paddedSize(inputs), or to `paddedTo` (a
// site's bucket, padded as the whole roster). `progress` is called on the
// calling thread with the number of records sealed so far, after each one.
// Throws as sealRecord does.
std::vector<std::string> sealAll(const std::vector<SealInput>& inputs, const SealScope& scope,
                                 const std::function<void(std::size_t done)>& progress,
                                 std::optional<std::size_t> paddedTo = std::nullopt);

// Overwrites a text's whole buffer with zeros (sodium_memzero), then empties
// it: for identity numbers and opened records that are no longer needed.
void wipe(std::string& text);
void wipe(std::u16string& text);
