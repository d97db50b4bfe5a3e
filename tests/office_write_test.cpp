// The office's writers (office/write/): sealing records, the page's roster
// element and policy, a file written whole or not at all, precompressed
// twins, and a site.
#include <gtest/gtest.h>

#include <brotli/decode.h>
#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "office/write/area_write.h"
#include "office/write/file.h"
#include "office/write/page.h"
#include "office/write/seal.h"
#include "office/write/site.h"
#include "office/write/twin.h"
#include "roster/bucket.h"
#include "roster/page.h"
#include "roster/utf.h"
#include "tests/carried_roster.h"

// ---- Sealing records ------------------------------------------------------
// Sealed roster records: they open with their own row's identity number
// exactly as issued, and with nothing else.

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

// ---- The page writer ------------------------------------------------------
// The page writer (office/write/page.h): the roster element filled, and the
// policy written for a page and for a site.

namespace {

const std::string TEMPLATE = R"(<head>
<meta http-equiv="Content-Security-Policy" content="@POLICY@">
<style>b{}</style>
</head><body>
<script type="application/octet-stream" id="roster">old</script>
<script type="application/octet-stream" id="program">AAAA</script>
<script>go()</script>
<script>
two()
</script>
</body>)";
const unsigned char AREA[] = {1, 2, 3, 0, 0};

// The policy's sources, from Python's hashlib: the bare <script> and <style>
// bodies in order, never the typed elements.
const std::string SOURCES = "script-src 'sha256-5KYv+PUboo5h+0+YAtGRPbwv5d/QxzHslP4YGnUaxRw=' "
                            "'sha256-CO+FkcwFIluZ98XczjkmxJwzME+ATnUpm+699SF3auo=' 'wasm-unsafe-eval'; "
                            "style-src 'sha256-7yqHVAesot11p6HczDsgKRipvI5UPgs97z80zNXlans='; "
                            "img-src data:; base-uri 'none'; form-action 'none'";

std::string text(const std::string& page, std::optional<PageText> at)
{
    return at ? page.substr(at->offset, at->size) : "(none)";
}

}  // namespace

TEST(PageWrite, fillsTheRosterElementAndWritesThePolicy)
{
    const auto page = withPageArea(TEMPLATE, AREA);
    ASSERT_TRUE(page);
    EXPECT_EQ(text(*page, findPageArea(*page)), "AQID");  // the used bytes only
    EXPECT_EQ(text(*page, findPagePolicy(*page)), "default-src 'none'; " + SOURCES);
    const std::string rest = R"(<script type="application/octet-stream" id="program">)";
    EXPECT_EQ(page->substr(page->find(rest)), TEMPLATE.substr(TEMPLATE.find(rest)));  // untouched

    // A written page as the template (varnholt-pack's): the same page again,
    // or a site's page, whose script may reach its own origin, and which
    // takes its program's script from there.
    EXPECT_EQ(withPageArea(*page, AREA), page);
    const auto site = withPageArea(*page, AREA, PageConnections::self);
    ASSERT_TRUE(site);
    EXPECT_EQ(text(*site, findPagePolicy(*site)),
              "default-src 'none'; connect-src 'self'; script-src 'self' " + SOURCES.substr(sizeof "script-src"));
    EXPECT_EQ(withPageArea(*site, AREA), page);
}

TEST(PageWrite, refusesAPageWithoutTheRosterElementOrThePolicy)
{
    std::string noRoster = TEMPLATE, noPolicy = TEMPLATE;
    noRoster.erase(noRoster.find(" id=\"roster\""), 12);
    noPolicy.erase(noPolicy.find("http-equiv"), 36);
    EXPECT_FALSE(withPageArea(noRoster, AREA));
    EXPECT_FALSE(withPageArea(noPolicy, AREA));
    EXPECT_FALSE(withPageArea(TEMPLATE.substr(0, TEMPLATE.find("old")), AREA));  // an element never closed
}

// ---- A file written whole -------------------------------------------------
// A file written whole or not at all: the partial file beside it takes the
// file's place once every byte is written, and is gone when writing fails.

namespace fs = std::filesystem;

TEST(WholeFile, replacesTheFileOnlyOnceEveryByteIsWritten)
{
    const fs::path dir = fs::temp_directory_path() / ("varnholt-whole-file-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const fs::path path = dir / "index.html", partial = dir / "index.html.partial";
    const auto text = [&] {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return bytes.str();
    };
    WholeFile(path).commit("first");
    WholeFile(path).commit("second");
    { WholeFile unfinished(path); }  // never committed
    EXPECT_EQ(text(), "second");
    EXPECT_FALSE(fs::exists(fs::symlink_status(partial)));
#ifndef _WIN32
    // The partial file on a full disk: the write fails, the file stays.
    fs::create_symlink("/dev/full", partial);
    EXPECT_THROW(WholeFile(path).commit(std::string(1 << 16, 'x')), WriteError);
    EXPECT_EQ(text(), "second");
    EXPECT_FALSE(fs::exists(fs::symlink_status(partial)));
#endif
    fs::remove_all(dir);
}

// ---- Precompressed twins --------------------------------------------------
// A file's gzip and brotli twins hold its bytes, the same twins for the same
// bytes on every platform, and there is none where it would not be smaller.

namespace {

// A folder of its own for each site (or twin), removed again.
struct SiteFolder {
    const fs::path path = fs::temp_directory_path() / ("varnholt-site-test-" + bucketFolder(newRosterId()));
    ~SiteFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::vector<fs::path> entries() const
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(path))
            found.push_back(entry.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }
};

std::string gunzipped(const std::string& gz)
{
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
    std::string out(1 << 20, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    stream.avail_in = static_cast<uInt>(gz.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END && stream.avail_in == 0 ? out : "(not one whole gzip stream)";
}

std::string unbrotlied(const std::string& br)
{
    std::string out(1 << 20, '\0');
    std::size_t size = out.size();
    const bool whole = BrotliDecoderDecompress(br.size(), reinterpret_cast<const std::uint8_t*>(br.data()), &size,
                                               reinterpret_cast<std::uint8_t*>(out.data())) == BROTLI_DECODER_RESULT_SUCCESS;
    out.resize(size);
    return whole ? out : "(not one whole brotli stream)";
}

std::string sha256Hex(const std::string& bytes)
{
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    std::string hex(2 * sizeof hash + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), hash, sizeof hash);
    hex.pop_back();
    return hex;
}

// Every file in DIR and its folders that has twins holds both twins' bytes;
// how many have them.
std::size_t checkTwins(const fs::path& dir)
{
    std::size_t twins = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string path = entry.path().string();
        if (entry.is_regular_file() && fs::exists(path + ".gz")) {
            const std::string bytes = readFile(path.c_str());
            EXPECT_EQ(gunzipped(readFile((path + ".gz").c_str())), bytes) << path;
            EXPECT_EQ(unbrotlied(readFile((path + ".br").c_str())), bytes) << path;
            ++twins;
        }
    }
    return twins;
}

}  // namespace

TEST(Twin, holdsTheFilesBytesTheSameOnEveryPlatformOrIsNone)
{
    const SiteFolder dir;
    fs::create_directories(dir.path);
    const fs::path page = dir.path / "index.html";
    std::string bytes;
    for (int k = 0; k < 2000; ++k)
        bytes += "<p>第" + std::to_string(k) + "名</p>\n";
    writeTwin(page, bytes);
    const std::string twin = readFile((page.string() + ".gz").c_str());
    EXPECT_EQ(gunzipped(twin), bytes);
    EXPECT_EQ(twin.substr(4, 4), std::string(4, '\0'));  // no time
    EXPECT_EQ(static_cast<unsigned char>(twin[9]), 255);  // no operating system
    // As `brotli -q 11 -w 22` writes it, on every platform.
    const std::string br = readFile((page.string() + ".br").c_str());
    EXPECT_EQ(unbrotlied(br), bytes);
    EXPECT_EQ(sha256Hex(br), "3b62a08c7977018337b363f9def33ed501b5a34002ff9401827342d1b433d23c");

    // Bytes gzip cannot shrink: no twin, and an earlier packing's goes.
    std::string noise(4096, '\0');
    std::mt19937 random(7);
    for (char& c : noise)
        c = static_cast<char>(random());
    writeTwin(page, noise);
    EXPECT_FALSE(fs::exists(page.string() + ".gz"));
    EXPECT_FALSE(fs::exists(page.string() + ".br"));
}

// ---- The site writer ------------------------------------------------------------

namespace {

namespace fs = std::filesystem;

// A page template cut down to what the site writer fills: its policy, its
// roster element, its program ("program\n" in base64) and the program's script.
const std::string SITE_PAGE = "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; \">"
                              "<script type=\"application/octet-stream\" id=\"roster\"></script>"
                              "<script type=\"application/octet-stream\" id=\"program\">cHJvZ3JhbQo=</script>"
                              "\n<script>\nvar s;\n</script>\n</body>";

// Records of `count` candidates, a remark on every third.
std::vector<RosterRecord> siteRecords(std::size_t count)
{
    std::vector<RosterRecord> records;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string n = std::to_string(1'000'000 + k);
        const std::u16string digits(n.begin(), n.end());
        records.push_back({u"1073" + digits, u"5117021990" + digits + u"9", u"王小明", u" 68.9    ",
                           k % 3 ? u"" : u"市委表彰优秀共产党员加5分"});
    }
    return records;
}


std::vector<unsigned char> fileBytes(const fs::path& path)
{
    const std::string bytes = readFile(path.string().c_str());
    return {bytes.begin(), bytes.end()};
}

// The site's index and its buckets, each checked to be the one of its number.
std::vector<CarriedRoster> readSite(const fs::path& dir, SiteIndex& index)
{
    const std::string page = readFile((dir / "index.html").string().c_str());
    const auto text = findPageArea(page);
    index = decodeSiteIndex(areaFromPageText(std::string_view(page).substr(text.value().offset, text->size)));
    std::vector<CarriedRoster> buckets;
    for (std::uint32_t b = 0; b < index.buckets; ++b) {
        const auto file = fileBytes(dir / bucketPath(index.scope.rosterId, b));
        EXPECT_LE(file.size(), ROSTER_BUCKET_MAX) << "bucket " << b;
        buckets.push_back(decodeBucket(file, index, b));
    }
    return buckets;
}

}  // namespace

TEST(SiteWriter, putsEveryRecordInTheBucketItsTicketFallsInEachWithinTheLargestBucket)
{
    const SiteFolder dir;
    const std::vector<RosterRecord> records = siteRecords(3000);
    std::size_t reported = 0;
    const SiteWritten written = writeSite(records, std::nullopt, dir.path, SITE_PAGE, [&](std::size_t done) {
        reported = done;
    });
    SiteIndex index;
    const std::vector<CarriedRoster> buckets = readSite(dir.path, index);
    EXPECT_EQ(index.buckets, written.buckets);
    EXPECT_GT(index.buckets, 1u);
    EXPECT_FALSE(index.isSealed());
    EXPECT_EQ(reported, records.size());
    std::size_t held = 0;
    for (const CarriedRoster& bucket : buckets)
        held += bucket.records.size();
    EXPECT_EQ(held, records.size());
    for (const RosterRecord& record : records) {
        const CarriedRoster& bucket = buckets.at(bucketOf(record.zhun, index.scope.rosterId, index.buckets));
        const auto at = findTicket(bucket, record.zhun);
        ASSERT_TRUE(at.has_value()) << toUtf8(record.zhun);
        EXPECT_EQ(bucket.records[*at], record);
    }
    // The page and every bucket beside its gzip twin.
    EXPECT_EQ(checkTwins(dir.path), 1 + index.buckets);
    // The program and its script in files of their own, named and checked by
    // their SHA-256 (`sha256sum`, `openssl dgst -sha256 -binary | base64`).
    EXPECT_EQ(readFile((dir.path / "varnholt-fba13a37a73d657d.wasm").string().c_str()), "program\n");
    EXPECT_EQ(readFile((dir.path / "varnholt-12968e93b0b6e56c.js").string().c_str()), "var s;\n");
    const std::string page = readFile((dir.path / "index.html").string().c_str());
    EXPECT_NE(page.find("<script type=\"application/octet-stream\" id=\"program\" data-src=\"varnholt-fba13a37a73d657d.wasm\""
                        " data-integrity=\"sha256-+6E6N6c9ZX3A8eZx8NxxT5iR3U2hXsRb0qb4PgQ0ZI4=\"></script>\n"
                        "<script src=\"varnholt-12968e93b0b6e56c.js\""
                        " integrity=\"sha256-EpaOk7C25WzqUaWa5O0U2faumn2ZovPaM2fGFUJbGew=\" defer></script>\n</body>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("script-src 'self' "), std::string::npos);
}

TEST(SiteWriter, sealsEveryRecordToOpenWithItsOwnIdentityNumberOnly)
{
    const SiteFolder dir;
    const std::vector<RosterRecord> records = siteRecords(40);
    writeSite(records, TEST_COST, dir.path, SITE_PAGE, [](std::size_t) {});
    SiteIndex index;
    const std::vector<CarriedRoster> buckets = readSite(dir.path, index);
    EXPECT_TRUE(index.isSealed());
    for (const RosterRecord& record : records) {
        const CarriedRoster& bucket = buckets.at(bucketOf(record.zhun, index.scope.rosterId, index.buckets));
        const auto at = findTicket(bucket, record.zhun);
        ASSERT_TRUE(at.has_value()) << toUtf8(record.zhun);
        EXPECT_EQ(bucket.records[*at].shen, u"");
        EXPECT_EQ(openRecord(bucket.sealed.at(*at), record.zhun, record.shen, index.scope),
                  (RosterRecord{record.zhun, u"", record.xing, record.chengji, record.beizhu}));
        EXPECT_EQ(openRecord(bucket.sealed.at(*at), record.zhun, records.front().shen + u"0", index.scope), std::nullopt);
    }
}

TEST(SiteWriter, leavesNoNewFolderWhenItFails)
{
    const SiteFolder dir;
    writeSite(siteRecords(5), std::nullopt, dir.path, SITE_PAGE, [](std::size_t) {});  // an earlier packing
    const auto before = dir.entries();
    ASSERT_EQ(before.size(), 6u);  // its page, the page's two twins, its program's two files and its folder

    // A template without a roster element fails once every bucket is written.
    EXPECT_THROW(writeSite(siteRecords(5), std::nullopt, dir.path, "<html></html>", [](std::size_t) {}), SiteError);
    EXPECT_EQ(dir.entries(), before);
    // A record too long for a bucket fails before the folder is made.
    std::vector<RosterRecord> records = siteRecords(5);
    records[2].beizhu.assign(ROSTER_BUCKET_MAX / 2, u'分');
    EXPECT_THROW(writeSite(records, std::nullopt, dir.path, SITE_PAGE, [](std::size_t) {}), SiteError);
    EXPECT_EQ(dir.entries(), before);
    // A cost of zero, which would read as a plain site's, is refused first.
    EXPECT_THROW(writeSite(siteRecords(5), SealCost{0, 0}, dir.path, SITE_PAGE, [](std::size_t) {}),
                 std::invalid_argument);
    EXPECT_EQ(dir.entries(), before);
}
