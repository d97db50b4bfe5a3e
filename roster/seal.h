// A protected roster keeps each candidate's name, score text and remark in a
// sealed record that only the candidate's own identity number opens: the key
// is derived from the identity number with Argon2id and a random salt, and the
// record is sealed with XChaCha20-Poly1305 (libsodium). The ticket number
// stays in the clear and is bound to the record as associated data.
//
// A sealed record: salt (16 bytes) | nonce (24 bytes) | ciphertext and tag.
// The plaintext: name, score text and remark in UTF-8, each after its length
// in bytes (LEB128).
#pragma once

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

// A roster is sealed by default at the cost of about a quarter of a second
// per key derivation on the machine that seals it, with at least 64 MiB.
inline constexpr double DEFAULT_SEAL_SECONDS = 0.25;
inline constexpr std::uint32_t DEFAULT_SEAL_MEM_KIB = 64 * 1024;

struct OpenedRecord {
    std::u16string xing, chengji, beizhu;  // name, score text, remark

    bool operator==(const OpenedRecord&) const = default;
};

// Seals the record under a key derived from the identity number's UTF-16
// code units (little-endian), with a fresh random salt and nonce; the ticket
// number is authenticated with it, so a record moved to another row does not
// open. Throws std::invalid_argument for a cost outside libsodium's bounds or
// a text with an unpaired surrogate, std::bad_alloc when the key derivation
// finds not the memory it needs (the derived key is wiped on every path).
std::string sealRecord(std::u16string_view ticket, std::u16string_view identity, const OpenedRecord& record,
                       SealCost cost);

// The size of the record once sealed, known before the work of sealing it.
std::size_t sealedSize(const OpenedRecord& record);

// The record, or nothing when it does not open with this identity number:
// another number, damaged bytes, another row's record, a cost outside
// libsodium's bounds. Never throws for bad input; throws std::bad_alloc when
// the key derivation finds not the memory it needs.
std::optional<OpenedRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
                                       std::u16string_view identity, SealCost cost);

// The cost of about `seconds` of wall-clock time for one key derivation on
// this machine: `minMemKiB` of memory and the passes timed to fit, at least
// one (when one pass over that memory already takes longer, one it is).
// Throws std::invalid_argument for memory outside libsodium's bounds.
SealCost calibrateCost(double seconds, std::uint32_t minMemKiB);

struct SealInput {
    std::u16string ticket, identity;
    OpenedRecord record;
};

// Seals every record, one thread per core (each holds the cost's memory),
// in input order. `progress` is called on the calling thread with the number
// of records sealed so far, after each one. Throws as sealRecord does.
std::vector<std::string> sealAll(const std::vector<SealInput>& inputs, SealCost cost,
                                 const std::function<void(std::size_t done)>& progress);
