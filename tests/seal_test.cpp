// Sealed roster records: they open with their own row's identity number
// exactly as issued, and with nothing else.
#include <gtest/gtest.h>

#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "office/write/seal.h"

namespace {

const std::u16string TICKET = u"10731020102";
const std::u16string IDENTITY = u"51190219900101123X";
const RosterRecord RECORD{TICKET, IDENTITY, u"王小明", u"  63.4    ", u"进藏兵加5分"};

// A record as it opens: no copy of the identity number it opened with.
RosterRecord opened(RosterRecord record)
{
    record.shen.clear();
    return record;
}
const SealScope SCOPE{newRosterId(), TEST_COST};
constexpr std::size_t PADDED = 64;

std::string sealed() { return sealRecord(RECORD, SCOPE, PADDED); }

}  // namespace

TEST(Seal, opensOnlyWithItsOwnRowsExactNumbers)
{
    const std::string record = sealed();
    EXPECT_EQ(openRecord(record, TICKET, IDENTITY, SCOPE), opened(RECORD));

    const struct {
        std::u16string ticket, identity;
    } others[] = {
        {TICKET, u"51190219900101123x"},   // lower-case check character
        {TICKET, u"5119021990010112"},     // shortened
        {TICKET, u" 51190219900101123X"},  // a blank before
        {TICKET, u"51190219900101123X "},  // a blank after
        {TICKET, u"51190219900101124X"},   // another row's number
        {TICKET, u""},
        {u"10731020103", IDENTITY},  // the record moved to another row
    };
    for (const auto& other : others)
        EXPECT_EQ(openRecord(record, other.ticket, other.identity, SCOPE), std::nullopt);
    // Another roster's file, or a header whose cost was changed.
    EXPECT_EQ(openRecord(record, TICKET, IDENTITY, {newRosterId(), TEST_COST}), std::nullopt);
    EXPECT_EQ(openRecord(record, TICKET, IDENTITY, {SCOPE.rosterId, {2, 8}}), std::nullopt);
    EXPECT_EQ(openRecord(record, TICKET, IDENTITY, {SCOPE.rosterId, {1, 16}}), std::nullopt);
}

TEST(Seal, anyDamagedByteKeepsItShut)
{
    const std::string record = sealed();
    for (std::size_t i = 0; i < record.size(); ++i) {  // salt, nonce, ciphertext, tag
        std::string damaged = record;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x01);
        EXPECT_EQ(openRecord(damaged, TICKET, IDENTITY, SCOPE), std::nullopt) << "byte " << i;
    }
    EXPECT_EQ(openRecord(record.substr(0, record.size() - 1), TICKET, IDENTITY, SCOPE), std::nullopt);
    EXPECT_EQ(openRecord(record + '\0', TICKET, IDENTITY, SCOPE), std::nullopt);
    EXPECT_EQ(openRecord("", TICKET, IDENTITY, SCOPE), std::nullopt);
}

TEST(Seal, sealsAfreshEachTime)
{
    const std::string first = sealed(), second = sealed();
    EXPECT_NE(first.substr(0, 16), second.substr(0, 16));         // salt
    EXPECT_NE(first.substr(16, 24), second.substr(16, 24));       // nonce
    EXPECT_EQ(openRecord(second, TICKET, IDENTITY, SCOPE), opened(RECORD));
    EXPECT_EQ(first.size(), sealedSize(PADDED));  // known before sealing, to check the roster fits
    EXPECT_NE(SCOPE.rosterId, newRosterId());
}

// Bytes that authenticate but are not three padded texts do not open either.
TEST(Seal, refusesAnAuthenticRecordThatIsNotThreePaddedTexts)
{
    const std::string pad("\x80\x00\x00", 3);
    const std::string plaintexts[] = {
        std::string("\x03\xE7\x8E\x8B\x00", 5) + pad,      // two texts
        std::string("\x03\xE7\x8E\x8B\x00\x00\x00", 7) + pad,  // four texts
        std::string("\x09\xE7\x8E\x8B\x00\x00", 6) + pad,  // a length beyond the end
        std::string("\x03\xED\xA0\x80\x00\x00", 6) + pad,  // a surrogate in UTF-8
        std::string(10, '\x80') + std::string("\x01\x00\x00", 3) + pad,  // a length beyond 64 bits
        std::string("\x03\xE7\x8E\x8B\x00\x00", 6) + std::string(3, '\0'),  // three texts, no padding mark
    };
    std::string data(SCOPE.rosterId.begin(), SCOPE.rosterId.end());
    data += std::string("\x01\x00\x00\x00\x08\x00\x00\x00", 8);
    data.append(reinterpret_cast<const char*>(TICKET.data()), TICKET.size() * 2);
    for (const auto& plaintext : plaintexts) {
        unsigned char salt[crypto_pwhash_SALTBYTES] = {}, nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES] = {};
        unsigned char key[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
        ASSERT_EQ(crypto_pwhash(key, sizeof key, reinterpret_cast<const char*>(IDENTITY.data()), IDENTITY.size() * 2,
                                salt, TEST_COST.opsLimit, TEST_COST.memLimitKiB * 1024, crypto_pwhash_ALG_ARGON2ID13),
                  0);
        std::string record(sizeof salt + sizeof nonce + plaintext.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES,
                           '\0');
        crypto_aead_xchacha20poly1305_ietf_encrypt(
            reinterpret_cast<unsigned char*>(record.data()) + sizeof salt + sizeof nonce, nullptr,
            reinterpret_cast<const unsigned char*>(plaintext.data()), plaintext.size(),
            reinterpret_cast<const unsigned char*>(data.data()), data.size(), nullptr, nonce, key);
        EXPECT_EQ(openRecord(record, TICKET, IDENTITY, SCOPE), std::nullopt) << plaintext.size();
    }
}

// Costs beyond the bounds a roster may state are refused both ways: sealing
// at them fails, and a record never opens at them (no hang, no allocation).
TEST(Seal, refusesWhatItCannotSealAndCostsOutOfBounds)
{
    for (const SealCost cost : {SealCost{0, 8}, SealCost{1, 7}, SealCost{MAX_SEAL_PASSES + 1, 8},
                                SealCost{1, MAX_SEAL_MEM_KIB + 1}, SealCost{0xFFFFFFFF, 0xFFFFFFFF}}) {
        EXPECT_FALSE(isSaneCost(cost)) << cost.opsLimit << " " << cost.memLimitKiB;
        EXPECT_THROW(sealRecord(RECORD, {SCOPE.rosterId, cost}, PADDED), std::invalid_argument);
        EXPECT_EQ(openRecord(sealed(), TICKET, IDENTITY, {SCOPE.rosterId, cost}), std::nullopt);
    }
    EXPECT_TRUE(isSaneCost({MAX_SEAL_PASSES, MAX_SEAL_MEM_KIB}));
    EXPECT_THROW(sealRecord({TICKET, IDENTITY, u"\xD800", u"", u""}, SCOPE, PADDED), std::invalid_argument);
    EXPECT_THROW(sealRecord(RECORD, SCOPE, 16), std::invalid_argument);  // longer than the padding
}

TEST(Seal, calibratesNeverBelowTheFloorAsked)
{
    const SealCost cost = calibrateCost(0, {3, 16});
    EXPECT_EQ(cost.opsLimit, 3u);
    EXPECT_EQ(cost.memLimitKiB, 16u);
    EXPECT_THROW(calibrateCost(0.25, {1, 7}), std::invalid_argument);
    EXPECT_EQ(calibrateCost(1e9, {1, 16}).opsLimit, MAX_SEAL_PASSES);
}

// Records of any length seal to one size: the size tells nothing of a name's
// length or of who has a remark.
TEST(Seal, sealsAllInOrderToOneSizeAndCountsThemOnTheCallingThread)
{
    std::vector<RosterRecord> records;
    for (char16_t k = 0; k < 20; ++k)
        records.push_back({TICKET + k, IDENTITY + k, RECORD.xing.substr(0, 2 + k % 2), RECORD.chengji,
                           k % 3 ? u"" : u"市委表彰优秀共产党员加5分"});
    std::vector<std::size_t> reports;
    const auto caller = std::this_thread::get_id();
    const auto sealed = sealAll(records, SCOPE, [&](std::size_t done) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        reports.push_back(done);
    });

    ASSERT_EQ(sealed.size(), records.size());
    for (std::size_t k = 0; k < records.size(); ++k) {
        EXPECT_EQ(openRecord(sealed[k], records[k].zhun, records[k].shen, SCOPE), opened(records[k])) << k;
        EXPECT_EQ(sealed[k].size(), sealedSize(paddedSize(records))) << k;
    }
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.back(), records.size());
}
