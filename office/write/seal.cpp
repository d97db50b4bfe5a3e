#include "office/write/seal.h"

#include "roster/codec.h"
#include "roster/seal_format.h"
#include "roster/utf.h"
#include "roster/wipe.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

using namespace seal;

// One text of a record's plaintext: its UTF-8 after the count of its bytes.
void appendText(std::string& out, std::u16string_view text)
{
    const Wiped<std::string> utf8 = toUtf8(text);
    if (Wiped<std::u16string>(fromUtf8(utf8).value_or(u"")) != text)
        throw std::invalid_argument("a text holds a surrogate that is not one of a pair");
    codec::putBytes(out, utf8);
}

// The plaintext of a record, unpadded; the caller wipes it.
std::string plaintextOf(const RosterRecord& record)
{
    std::string plaintext;
    appendText(plaintext, record.xing);
    appendText(plaintext, record.chengji);
    appendText(plaintext, record.beizhu);
    return plaintext;
}

}  // namespace

std::string memoryText(SealCost cost)
{
    return cost.memLimitKiB % 1024 ? std::to_string(cost.memLimitKiB) + " KiB"
                                   : std::to_string(cost.memLimitKiB / 1024) + " MiB";
}

RosterId newRosterId()
{
    startSodium();
    RosterId id;
    randombytes_buf(id.data(), id.size());
    return id;
}

void checkCost(SealCost cost)
{
    if (!isSaneCost(cost))
        throw std::invalid_argument("the key derivation's cost is outside the bounds a roster may state");
}

std::size_t paddedSize(const RosterRecord& record)
{
    Wiped<std::string> plaintext = plaintextOf(record);
    // sodium_pad always adds at least one byte: strictly beyond the longest.
    return (plaintext.size() / PAD_BLOCK + 1) * PAD_BLOCK;
}

std::size_t paddedSize(const std::vector<RosterRecord>& records)
{
    std::size_t padded = PAD_BLOCK;
    for (const RosterRecord& record : records)
        padded = std::max(padded, paddedSize(record));
    return padded;
}

std::size_t sealedSize(std::size_t padded) { return HEADER_BYTES + padded + TAG_BYTES; }

std::string sealRecord(const RosterRecord& record, const SealScope& scope, std::size_t padded)
{
    startSodium();
    checkCost(scope.cost);
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
    const std::string data = associatedData(scope, record.zhun);
    Key key;
    derive(key, record.shen, salt, scope.cost);
    crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + NONCE_BYTES, nullptr, bytes(plaintext), plaintext.size(),
                                               bytes(data), data.size(), nullptr, nonce, key.bytes);
    return sealed;
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
    checkCost(floor);
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

std::vector<std::string> sealAll(const std::vector<RosterRecord>& records, const SealScope& scope,
                                 const std::function<void(std::size_t done)>& progress,
                                 std::optional<std::size_t> paddedTo)
{
    const std::size_t padded = paddedTo.value_or(paddedSize(records));
    std::vector<std::string> sealed(records.size());
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, done = 0;
    std::exception_ptr failure;

    auto work = [&] {
        std::unique_lock lock(mutex);
        while (next < records.size() && !failure) {
            const std::size_t i = next++;
            lock.unlock();
            try {
                sealed[i] = sealRecord(records[i], scope, padded);
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
            while (threads.size() < std::min<std::size_t>(cores, records.size()))
                threads.emplace_back(work);
        } catch (...) {
            std::lock_guard lock(mutex);
            failure = std::current_exception();
        }
        std::unique_lock lock(mutex);
        for (std::size_t reported = 0; reported < records.size() && !failure;) {
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
