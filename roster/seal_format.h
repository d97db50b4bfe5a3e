// What sealing a record (the office's side) and opening it (the program)
// share: the record's layout, the key derivation and the associated data.
#pragma once

#include <sodium.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "roster/seal.h"
#include "roster/wipe.h"

namespace seal {

inline constexpr std::size_t SALT_BYTES = crypto_pwhash_SALTBYTES;
inline constexpr std::size_t NONCE_BYTES = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
inline constexpr std::size_t TAG_BYTES = crypto_aead_xchacha20poly1305_ietf_ABYTES;
inline constexpr std::size_t HEADER_BYTES = SALT_BYTES + NONCE_BYTES;
inline constexpr std::size_t PAD_BLOCK = 16;

// Starts libsodium once; throws if it cannot start.
void startSodium();

inline const unsigned char* bytes(std::u16string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }
inline const unsigned char* bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }
inline std::size_t byteCount(std::u16string_view text) { return text.size() * sizeof(char16_t); }

// A buffer of secret bytes, wiped when it goes out of scope on every path.
template <std::size_t N>
struct Secret {
    unsigned char bytes[N];
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { sodium_memzero(bytes, sizeof bytes); }
};
using Key = Secret<crypto_aead_xchacha20poly1305_ietf_KEYBYTES>;

// A text wiped when it goes out of scope.
template <typename Text>
struct Wiped : Text {
    using Text::Text;
    Wiped(Text&& text) : Text(std::move(text)) {}
    ~Wiped() { wipe(static_cast<Text&>(*this)); }
};

// Derives the key from the identity number's UTF-16 code units. With a sane
// cost, libsodium fails only for want of the memory: std::bad_alloc.
void derive(Key& key, std::u16string_view identity, const unsigned char* salt, SealCost cost);

// The associated data of every record: the roster's identifier, its cost
// and the row's ticket number.
std::string associatedData(const SealScope& scope, std::u16string_view ticket);

// Seconds one derivation at this cost takes here, with a throwaway key.
double secondsToDerive(SealCost cost);

}  // namespace seal
