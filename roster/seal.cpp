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

void startSodium()
{
    static const bool started = sodium_init() >= 0;
    if (!started)
        throw std::runtime_error("libsodium could not start");
}

bool withinBounds(SealCost cost)
{
    const auto memBytes = std::uint64_t{cost.memLimitKiB} * 1024;
    return cost.opsLimit >= crypto_pwhash_OPSLIMIT_MIN && cost.opsLimit <= crypto_pwhash_OPSLIMIT_MAX &&
           memBytes >= crypto_pwhash_MEMLIMIT_MIN && memBytes <= crypto_pwhash_MEMLIMIT_MAX;
}

const unsigned char* bytes(std::u16string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }
std::size_t byteCount(std::u16string_view text) { return text.size() * sizeof(char16_t); }

// The record key, wiped when it goes out of scope on every path.
struct Key {
    unsigned char bytes[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { sodium_memzero(bytes, sizeof bytes); }
};

// Derives the key from the identity number. With the cost within bounds,
// libsodium fails only for want of the memory.
void derive(Key& key, std::u16string_view identity, const unsigned char* salt, SealCost cost)
{
    if (crypto_pwhash(key.bytes, sizeof key.bytes, reinterpret_cast<const char*>(bytes(identity)),
                      byteCount(identity), salt, cost.opsLimit, std::size_t{cost.memLimitKiB} * 1024,
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
}

void appendText(std::string& out, std::u16string_view text)
{
    const std::string utf8 = toUtf8(text);
    if (fromUtf8(utf8) != text)
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
    text = std::move(*decoded);
    in.remove_prefix(size);
    return true;
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

namespace {

std::string plaintextOf(const OpenedRecord& record)
{
    std::string plaintext;
    appendText(plaintext, record.xing);
    appendText(plaintext, record.chengji);
    appendText(plaintext, record.beizhu);
    return plaintext;
}

}  // namespace

std::size_t sealedSize(const OpenedRecord& record)
{
    return HEADER_BYTES + plaintextOf(record).size() + TAG_BYTES;
}

std::string sealRecord(std::u16string_view ticket, std::u16string_view identity, const OpenedRecord& record,
                       SealCost cost)
{
    startSodium();
    if (!withinBounds(cost))
        throw std::invalid_argument("the key derivation's cost is outside libsodium's bounds");
    const std::string plaintext = plaintextOf(record);

    std::string sealed(HEADER_BYTES + plaintext.size() + TAG_BYTES, '\0');
    auto* salt = reinterpret_cast<unsigned char*>(sealed.data());
    auto* nonce = salt + SALT_BYTES;
    randombytes_buf(salt, HEADER_BYTES);
    Key key;
    derive(key, identity, salt, cost);
    crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + NONCE_BYTES, nullptr,
                                               reinterpret_cast<const unsigned char*>(plaintext.data()),
                                               plaintext.size(), bytes(ticket), byteCount(ticket), nullptr, nonce,
                                               key.bytes);
    return sealed;
}

std::optional<OpenedRecord> openRecord(std::string_view sealed, std::u16string_view ticket,
                                       std::u16string_view identity, SealCost cost)
{
    startSodium();
    if (!withinBounds(cost) || sealed.size() < HEADER_BYTES + TAG_BYTES)
        return std::nullopt;
    const auto* salt = reinterpret_cast<const unsigned char*>(sealed.data());
    const auto* nonce = salt + SALT_BYTES;
    const auto* ciphertext = nonce + NONCE_BYTES;
    const auto ciphertextSize = sealed.size() - HEADER_BYTES;

    std::string plaintext(ciphertextSize - TAG_BYTES, '\0');
    {
        Key key;
        derive(key, identity, salt, cost);
        if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(plaintext.data()), nullptr,
                                                       nullptr, ciphertext, ciphertextSize, bytes(ticket),
                                                       byteCount(ticket), nonce, key.bytes) != 0)
            return std::nullopt;
    }
    OpenedRecord record;
    std::string_view in = plaintext;
    if (!readText(in, record.xing) || !readText(in, record.chengji) || !readText(in, record.beizhu) || !in.empty())
        return std::nullopt;
    return record;
}

SealCost calibrateCost(double seconds, std::uint32_t minMemKiB)
{
    startSodium();
    if (!withinBounds({1, minMemKiB}))
        throw std::invalid_argument("the key derivation's memory is outside libsodium's bounds");
    // A derivation costs a fixed part (taking the memory from the system and
    // filling it once) and a part for each pass: here about 85 ms and 25 ms
    // for 64 MiB. Both are read off one and four passes. Other work on the
    // machine only ever slows a derivation: the fastest of three counts.
    const auto fastest = [&](std::uint32_t passes) {
        double best = secondsToDerive({passes, minMemKiB});
        for (int run = 0; run < 2; ++run)
            best = std::min(best, secondsToDerive({passes, minMemKiB}));
        return best;
    };
    const double one = fastest(1), four = fastest(4);
    const double perPass = std::max((four - one) / 3, 1e-6), fixed = one - perPass;
    const double passes = std::round((seconds - fixed) / perPass);
    return {static_cast<std::uint32_t>(std::clamp(passes, 1.0, 1e6)), minMemKiB};
}

// The web page opens records and never seals them; Emscripten's C++ library
// has no std::jthread.
#ifndef __EMSCRIPTEN__
std::vector<std::string> sealAll(const std::vector<SealInput>& inputs, SealCost cost,
                                 const std::function<void(std::size_t done)>& progress)
{
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
                sealed[i] = sealRecord(inputs[i].ticket, inputs[i].identity, inputs[i].record, cost);
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
