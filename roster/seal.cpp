#include "roster/seal.h"

#include "roster/codec.h"
#include "roster/seal_format.h"
#include "roster/utf.h"
#include "roster/wipe.h"

#include <bit>
#include <chrono>
#include <new>
#include <stdexcept>

// The identity number's key is derived from its UTF-16 code units in memory,
// which are little-endian on every machine the program is built for.
static_assert(std::endian::native == std::endian::little);

namespace {

using namespace seal;

// Reads one text of a record's plaintext (office/write/seal.cpp): its UTF-8
// after a count of four bytes at most, lengths below 256 MiB. False when the
// bytes are not one; RosterAreaError when they run past the end.
bool readText(codec::Reader& in, std::u16string& text)
{
    const auto utf8 = in.bytes(4);
    auto decoded = fromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    if (!decoded)
        return false;
    wipe(text);
    text.swap(*decoded);
    return true;
}

}  // namespace

namespace seal {

void startSodium()
{
    static const bool started = sodium_init() >= 0;
    if (!started)
        throw std::runtime_error("libsodium could not start");
}

void derive(Key& key, std::u16string_view identity, const unsigned char* salt, SealCost cost)
{
    if (crypto_pwhash(key.bytes, sizeof key.bytes, reinterpret_cast<const char*>(bytes(identity)),
                      byteCount(identity), salt, cost.opsLimit, std::size_t{cost.memLimitKiB} * 1024,
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
}

std::string associatedData(const SealScope& scope, std::u16string_view ticket)
{
    std::string data(scope.rosterId.begin(), scope.rosterId.end());
    codec::putU32(data, scope.cost.opsLimit);
    codec::putU32(data, scope.cost.memLimitKiB);
    codec::putUnits(data, ticket);
    return data;
}

double secondsToDerive(SealCost cost)
{
    const unsigned char salt[SALT_BYTES] = {};
    Key key;
    const auto start = std::chrono::steady_clock::now();
    derive(key, u"000000000000000000", salt, cost);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace seal

bool isSaneCost(SealCost cost)
{
    static_assert(crypto_pwhash_OPSLIMIT_MIN <= 1 && MAX_SEAL_PASSES <= crypto_pwhash_OPSLIMIT_MAX);
    return cost.opsLimit >= 1 && cost.opsLimit <= MAX_SEAL_PASSES &&
           std::uint64_t{cost.memLimitKiB} * 1024 >= crypto_pwhash_MEMLIMIT_MIN && cost.memLimitKiB <= MAX_SEAL_MEM_KIB;
}

std::optional<RosterRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
                                       std::u16string_view identity, const SealScope& scope)
{
    seal::startSodium();
    if (!isSaneCost(scope.cost) || sealed.size() <= HEADER_BYTES + TAG_BYTES)
        return std::nullopt;
    const auto* salt = bytes(sealed);
    const auto* nonce = salt + SALT_BYTES;
    const auto* ciphertext = nonce + NONCE_BYTES;
    const auto ciphertextSize = sealed.size() - HEADER_BYTES;
    const std::string data = associatedData(scope, ticket);

    Wiped<std::string> plaintext(ciphertextSize - TAG_BYTES, '\0');
    {
        Key key;
        derive(key, identity, salt, scope.cost);
        if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(plaintext.data()), nullptr,
                                                       nullptr, ciphertext, ciphertextSize, bytes(data), data.size(),
                                                       nonce, key.bytes) != 0)
            return std::nullopt;
    }
    std::size_t unpadded = 0;
    if (sodium_unpad(&unpadded, bytes(plaintext), plaintext.size(), plaintext.size()) != 0)
        return std::nullopt;
    RosterRecord record{std::u16string(ticket), {}, {}, {}, {}};
    codec::Reader in(std::span(bytes(plaintext), unpadded));
    bool read = false;
    try {
        read = readText(in, record.xing) && readText(in, record.chengji) && readText(in, record.beizhu) &&
               in.remaining() == 0;
    } catch (const RosterAreaError&) {
    }
    if (!read) {
        for (std::u16string* text : {&record.xing, &record.chengji, &record.beizhu})
            wipe(*text);
        return std::nullopt;
    }
    return record;
}

void warmUpDerivation(SealCost cost)
{
    startSodium();
    if (isSaneCost(cost))
        secondsToDerive({1, cost.memLimitKiB});
}

