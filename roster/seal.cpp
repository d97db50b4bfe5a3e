#include "roster/seal.h"

#include "roster/utf.h"

#include <sodium.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

// UTF-16 texts are hashed and authenticated as their code units in memory,
// which are little-endian on every machine the program is built for.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::size_t SALT_BYTES = crypto_pwhash_SALTBYTES;
constexpr std::size_t NONCE_BYTES = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t TAG_BYTES = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr std::size_t HEADER_BYTES = SALT_BYTES + NONCE_BYTES;
constexpr std::size_t PAD_BLOCK = 16;

void startSodium()
{
    static const bool started = sodium_init() >= 0;
    if (!started)
        throw std::runtime_error("libsodium could not start");
}

const unsigned char* bytes(std::u16string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }
const unsigned char* bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }
std::size_t byteCount(std::u16string_view text) { return text.size() * sizeof(char16_t); }

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

// Derives the key from the identity number. With a sane cost, libsodium
// fails only for want of the memory.
void derive(Key& key, std::u16string_view identity, const unsigned char* salt, SealCost cost)
{
    if (crypto_pwhash(key.bytes, sizeof key.bytes, reinterpret_cast<const char*>(bytes(identity)),
                      byteCount(identity), salt, cost.opsLimit, std::size_t{cost.memLimitKiB} * 1024,
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
}

// The associated data of every record: the roster's identifier, its cost
// and the row's ticket number.
std::string associatedData(const SealScope& scope, std::u16string_view ticket)
{
    std::string data(scope.rosterId.begin(), scope.rosterId.end());
    for (const std::uint32_t value : {scope.cost.opsLimit, scope.cost.memLimitKiB})
        for (int shift = 0; shift < 32; shift += 8)
            data += static_cast<char>((value >> shift) & 0xFF);
    data.append(reinterpret_cast<const char*>(ticket.data()), byteCount(ticket));
    return data;
}

void appendText(std::string& out, std::u16string_view text)
{
    const Wiped<std::string> utf8 = toUtf8(text);
    if (Wiped<std::u16string>(fromUtf8(utf8).value_or(u"")) != text)
        throw std::invalid_argument("a text holds a surrogate that is not one of a pair");
    for (auto size = utf8.size(); ; size >>= 7) {
        out += static_cast<char>((size & 0x7F) | (size >= 0x80 ? 0x80 : 0));
        if (size < 0x80)
            break;
    }
    out += utf8;
}

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

// The plaintext of a record, unpadded; the caller wipes it.
std::string plaintextOf(const OpenedRecord& record)
{
    std::string plaintext;
    appendText(plaintext, record.xing);
    appendText(plaintext, record.chengji);
    appendText(plaintext, record.beizhu);
    return plaintext;
}

double secondsToDerive(SealCost cost)
{
    const unsigned char salt[SALT_BYTES] = {};
    Key key;
    const auto start = std::chrono::steady_clock::now();
    derive(key, u"000000000000000000", salt, cost);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void wipe(std::string& text)
{
    text.resize(text.capacity());  // the whole buffer, the small-string one too
    sodium_memzero(text.data(), text.size());
    text.clear();
}

void wipe(std::u16string& text)
{
    text.resize(text.capacity());
    sodium_memzero(text.data(), byteCount(text));
    text.clear();
}

bool isSaneCost(SealCost cost)
{
    static_assert(crypto_pwhash_OPSLIMIT_MIN <= 1 && MAX_SEAL_PASSES <= crypto_pwhash_OPSLIMIT_MAX);
    return cost.opsLimit >= 1 && cost.opsLimit <= MAX_SEAL_PASSES &&
           std::uint64_t{cost.memLimitKiB} * 1024 >= crypto_pwhash_MEMLIMIT_MIN && cost.memLimitKiB <= MAX_SEAL_MEM_KIB;
}

RosterId newRosterId()
{
    startSodium();
    RosterId id;
    randombytes_buf(id.data(), id.size());
    return id;
}

std::size_t paddedSize(const OpenedRecord& record)
{
    Wiped<std::string> plaintext = plaintextOf(record);
    // sodium_pad always adds at least one byte: strictly beyond the longest.
    return (plaintext.size() / PAD_BLOCK + 1) * PAD_BLOCK;
}

std::size_t paddedSize(const std::vector<SealInput>& inputs)
{
    std::size_t padded = PAD_BLOCK;
    for (const SealInput& input : inputs)
        padded = std::max(padded, paddedSize(input.record));
    return padded;
}

std::size_t sealedSize(std::size_t padded) { return HEADER_BYTES + padded + TAG_BYTES; }

std::string sealRecord(std::u16string_view ticket, std::u16string_view identity, const OpenedRecord& record,
                       const SealScope& scope, std::size_t padded)
{
    startSodium();
    if (!isSaneCost(scope.cost))
        throw std::invalid_argument("the key derivation's cost is outside the bounds a roster may state");
    Wiped<std::string> plaintext = plaintextOf(record);
    if (padded == 0 || plaintext.size() >= padded)
        throw std::invalid_argument("a record is longer than the roster's padded size");
    const std::size_t unpadded = plaintext.size();
    plaintext.resize(padded);
    std::size_t paddedLength = 0;
    // The block is the whole padded size, so every record pads to exactly it.
    if (sodium_pad(&paddedLength, reinterpret_cast<unsigned char*>(plaintext.data()), unpadded, padded, padded) != 0 ||
        paddedLength != padded)
        throw std::logic_error("sodium_pad");

    std::string sealed(sealedSize(padded), '\0');
    auto* salt = reinterpret_cast<unsigned char*>(sealed.data());
    auto* nonce = salt + SALT_BYTES;
    randombytes_buf(salt, HEADER_BYTES);
    const std::string data = associatedData(scope, ticket);
    Key key;
    derive(key, identity, salt, scope.cost);
    crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + NONCE_BYTES, nullptr, bytes(plaintext), plaintext.size(),
                                               bytes(data), data.size(), nullptr, nonce, key.bytes);
    return sealed;
}

std::optional<OpenedRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
                                       std::u16string_view identity, const SealScope& scope)
{
    startSodium();
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

DerivationTime timeDerivation(std::uint32_t memKiB)
{
    startSodium();
    if (!isSaneCost({1, memKiB}))
        throw std::invalid_argument("the key derivation's memory is outside the bounds a roster may state");
    // Both parts are read off one and four passes. Other work on the machine
    // only ever slows a derivation: the fastest of three counts.
    const auto fastest = [&](std::uint32_t passes) {
        double best = secondsToDerive({passes, memKiB});
        for (int run = 0; run < 2; ++run)
            best = std::min(best, secondsToDerive({passes, memKiB}));
        return best;
    };
    const double one = fastest(1), four = fastest(4);
    const double perPass = std::max((four - one) / 3, 1e-6);
    return {std::max(one - perPass, 0.0), perPass};
}

SealCost calibrateCost(double seconds, SealCost floor)
{
    if (!isSaneCost(floor))
        throw std::invalid_argument("the key derivation's cost is outside the bounds a roster may state");
    // Here about 85 ms fixed and 25 ms a pass for 64 MiB.
    const DerivationTime time = timeDerivation(floor.memLimitKiB);
    const double passes = std::round((seconds - time.fixed) / time.perPass);
    const double least = floor.opsLimit;
    SealCost cost{static_cast<std::uint32_t>(std::clamp(passes, least, double{MAX_SEAL_PASSES})), floor.memLimitKiB};
    // Work elsewhere on the machine can make the two parts look wrong (one
    // pass as slow as four): the cost chosen is timed once more, and passes
    // are taken off in proportion if it takes half as long again as asked.
    double taken = secondsToDerive(cost);
    for (int run = 0; run < 2; ++run)
        taken = std::min(taken, secondsToDerive(cost));
    if (taken > 1.5 * seconds)
        cost.opsLimit = std::max(floor.opsLimit, static_cast<std::uint32_t>(cost.opsLimit * seconds / taken));
    return cost;
}

// The web page opens records and never seals them; Emscripten's C++ library
// has no std::jthread.
#ifndef __EMSCRIPTEN__
std::vector<std::string> sealAll(const std::vector<SealInput>& inputs, const SealScope& scope,
                                 const std::function<void(std::size_t done)>& progress,
                                 std::optional<std::size_t> paddedTo)
{
    const std::size_t padded = paddedTo.value_or(paddedSize(inputs));
    std::vector<std::string> sealed(inputs.size());
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, done = 0;
    std::exception_ptr failure;

    auto work = [&] {
        std::unique_lock lock(mutex);
        while (next < inputs.size() && !failure) {
            const std::size_t i = next++;
            lock.unlock();
            try {
                sealed[i] = sealRecord(inputs[i].ticket, inputs[i].identity, inputs[i].record, scope, padded);
                lock.lock();
                ++done;
            } catch (...) {
                lock.lock();
                if (!failure)
                    failure = std::current_exception();
            }
            changed.notify_all();
        }
    };

    {
        // Joined on leaving the block, whatever happens in it.
        std::vector<std::jthread> threads;
        const auto cores = std::max(1u, std::thread::hardware_concurrency());
        try {
            while (threads.size() < std::min<std::size_t>(cores, inputs.size()))
                threads.emplace_back(work);
        } catch (...) {
            std::lock_guard lock(mutex);
            failure = std::current_exception();
        }
        std::unique_lock lock(mutex);
        for (std::size_t reported = 0; reported < inputs.size() && !failure;) {
            changed.wait(lock, [&] { return done != reported || failure; });
            if (failure)
                break;
            reported = done;
            lock.unlock();
            try {
                progress(reported);
            } catch (...) {
                lock.lock();
                failure = std::current_exception();
                break;
            }
            lock.lock();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    return sealed;
}
#endif
