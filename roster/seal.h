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
#include <optional>
#include <string>
#include <string_view>

#include "roster/roster.h"

// Argon2id parameters, chosen when the roster is made and stored with it.
struct SealCost {
    std::uint32_t opsLimit;     // passes
    std::uint32_t memLimitKiB;  // memory, in KiB
};

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

// What every record of one roster is bound to besides its ticket number.
struct SealScope {
    RosterId rosterId;
    SealCost cost;
};

// Whether the records of a roster of this scope are sealed: a plain roster
// states no cost (both zero; roster/area.h).
inline bool sealsRecords(const SealScope& scope) { return scope.cost.opsLimit || scope.cost.memLimitKiB; }

// The record, its ticket number the one given and its identity number left
// empty (no copy of it is made), or nothing when it does not open with this
// identity number: another number, damaged bytes, another row's or another
// roster's record, a cost that is not sane. Never throws for bad input;
// throws std::bad_alloc when the key derivation finds not the memory it
// needs. The key and the plaintext are wiped before it returns.
std::optional<RosterRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
                                       std::u16string_view identity, const SealScope& scope);

// Derives one throwaway key over the cost's memory, in one pass: the memory
// a derivation takes is then taken from the system and touched, and its code
// run once, so that the first lookup costs what later ones do. For the web
// page, which does it when idle after loading.
void warmUpDerivation(SealCost cost);
