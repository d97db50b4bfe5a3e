#include "roster/seal.h"

#include "roster/seal_format.h"
#include "roster/utf.h"
#include "roster/wipe.h"

#include <bit>
#include <chrono>
#include <new>
#include <stdexcept>

// UTF-16 texts are hashed and authenticated as their code units in memory,
// which are little-endian on every machine the program is built for.
static_assert(std::endian::native == std::endian::little);

namespace {

using namespace seal;

// A text wiped when it goes out of scope.
template <typename Text>
struct Wiped : Text {
    using Text::Text;
    Wiped(Text&& text) : Text(std::move(text)) {}
    ~Wiped() { wipe(static_cast<Text&>(*this)); }
};

// Reads one text written by appendText; false when the bytes are not one.
bool readText(std::string_view& in, std::u16string& text)
{
    std::size_t size = 0;
    for (int shift = 0;; shift += 7) {
        if (in.empty() || shift > 21)  // four bytes: lengths below 256 MiB
            return false;
        const auto byte = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        size |= std::size_t{byte & 0x7Fu} << shift;
        if (byte < 0x80)
            break;
    }
    if (size > in.size())
        return false;
    auto decoded = fromUtf8(in.substr(0, size));
    if (!decoded)
        return false;
    wipe(text);
    text.swap(*decoded);
    in.remove_prefix(size);
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
    for (const std::uint32_t value : {scope.cost.opsLimit, scope.cost.memLimitKiB})
        for (int shift = 0; shift < 32; shift += 8)
            data += static_cast<char>((value >> shift) & 0xFF);
    data.append(reinterpret_cast<const char*>(ticket.data()), byteCount(ticket));
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

std::optional<OpenedRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
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
    OpenedRecord record;
    std::string_view in = std::string_view(plaintext).substr(0, unpadded);
    if (!readText(in, record.xing) || !readText(in, record.chengji) || !readText(in, record.beizhu) || !in.empty()) {
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

