#include "office/write/site.h"

#include <algorithm>
#include <fstream>

#include "office/write/area_write.h"
#include "office/write/file.h"
#include "roster/wipe.h"
#include "roster/bucket.h"
#include "office/write/page.h"
#include "roster/utf.h"

namespace fs = std::filesystem;

namespace {

// Buckets are made about this full, so that chance leaves every one within
// ROSTER_BUCKET_MAX.
constexpr std::size_t BUCKET_TARGET = ROSTER_BUCKET_MAX * 3 / 4;

std::string display(const fs::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::size_t varintSize(std::size_t value)
{
    std::size_t n = 1;
    for (; value >= 0x80; value >>= 7)
        ++n;
    return n;
}

std::size_t textSize(std::u16string_view text)
{
    return varintSize(text.size()) + 2 * text.size();
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << bytes) || (out.close(), !out))
        throw SiteError(display(path) + ": error: cannot write the file");
}

// The new packing's folder, removed again unless the site is complete.
struct NewFolder {
    fs::path path;
    bool kept = false;
    ~NewFolder()
    {
        std::error_code ignored;
        if (!kept)
            fs::remove_all(path, ignored);
    }
};

}  // namespace

SiteWritten writeSite(const std::vector<RosterFields>& records, std::optional<SealCost> seal, const fs::path& dir,
                      const std::string& page, const std::function<void(std::size_t done)>& progress)
{
    if (records.size() > ROSTER_MAX_SITE_RECORDS)
        throw SiteError(display(dir) + ": error: the roster has " + std::to_string(records.size()) +
                        " records; a site holds at most " + std::to_string(ROSTER_MAX_SITE_RECORDS));
    CarriedRoster index;
    index.scope = {newRosterId(), seal.value_or(SealCost{0, 0})};
    index.sealedSite = seal.has_value();

    // Each record's bytes in a bucket: sealed records all padded to one size.
    std::size_t padded = 0;
    if (seal)
        for (const RosterFields& f : records) {
            OpenedRecord record{f[2], f[3], f[4]};
            padded = std::max(padded, paddedSize(record));
            for (std::u16string* text : {&record.xing, &record.chengji, &record.beizhu})
                wipe(*text);
        }
    std::vector<std::uint32_t> sizes(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const RosterFields& f = records[i];
        const std::size_t sealedBytes = sealedSize(padded);
        sizes[i] = static_cast<std::uint32_t>(
            seal ? textSize(f[0]) + varintSize(sealedBytes) + sealedBytes
                 : textSize(f[0]) + textSize(f[1]) + textSize(f[2]) + textSize(f[3]) + textSize(f[4]));
        if (ROSTER_AREA_HEADER + sizes[i] > ROSTER_BUCKET_MAX)
            throw SiteError(display(dir) + ": error: the record of ticket " + toUtf8(f[0]) +
                            " is too long for a site's bucket");
    }

    // As few buckets as keep every one within ROSTER_BUCKET_MAX, about
    // BUCKET_TARGET each: the keyed hash spreads the tickets evenly.
    std::size_t total = 0;
    for (std::uint32_t size : sizes)
        total += size;
    std::vector<std::uint32_t> bucketOfRecord(records.size());
    std::vector<std::size_t> bucketBytes;
    for (std::size_t buckets = std::max<std::size_t>(1, (total + BUCKET_TARGET - 1) / BUCKET_TARGET);;
         buckets += buckets / 16 + 1) {
        if (buckets > ROSTER_MAX_BUCKETS)
            throw SiteError(display(dir) + ": error: the roster needs more than " + std::to_string(ROSTER_MAX_BUCKETS) +
                            " buckets");
        bucketBytes.assign(buckets, ROSTER_AREA_HEADER);
        for (std::size_t i = 0; i < records.size(); ++i) {
            bucketOfRecord[i] = bucketOf(records[i][0], index.scope.rosterId, static_cast<std::uint32_t>(buckets));
            bucketBytes[bucketOfRecord[i]] += sizes[i];
        }
        if (*std::max_element(bucketBytes.begin(), bucketBytes.end()) <= ROSTER_BUCKET_MAX)
            break;
    }
    index.buckets = static_cast<std::uint32_t>(bucketBytes.size());

    // The records of each bucket, in ticket order.
    std::vector<std::size_t> first(index.buckets + 1, 0);
    for (std::uint32_t b : bucketOfRecord)
        ++first[b + 1];
    for (std::size_t b = 0; b < index.buckets; ++b)
        first[b + 1] += first[b];
    std::vector<std::uint32_t> order(records.size());
    {
        std::vector<std::size_t> next(first.begin(), first.end() - 1);
        for (std::size_t i = 0; i < records.size(); ++i)
            order[next[bucketOfRecord[i]]++] = static_cast<std::uint32_t>(i);
    }
    for (std::size_t b = 0; b < index.buckets; ++b)
        std::sort(order.begin() + static_cast<std::ptrdiff_t>(first[b]),
                  order.begin() + static_cast<std::ptrdiff_t>(first[b + 1]),
                  [&](std::uint32_t x, std::uint32_t y) { return records[x][0] < records[y][0]; });

    std::error_code error;
    fs::create_directories(dir, error);
    NewFolder folder{dir / bucketFolder(index.scope.rosterId)};
    if (error || !fs::create_directory(folder.path, error))
        throw SiteError(display(folder.path) + ": error: cannot make the folder: " +
                        (error ? error.message() : "it exists"));

    SiteWritten written{dir / "index.html", folder.path, index.buckets, ROSTER_BUCKET_MAX, 0, 0};
    std::size_t done = 0;
    for (std::uint32_t b = 0; b < index.buckets; ++b) {
        CarriedRoster bucket;
        bucket.scope = index.scope;
        bucket.sealedSite = index.sealedSite;
        std::vector<SealInput> inputs;
        for (std::size_t k = first[b]; k < first[b + 1]; ++k) {
            const RosterFields& f = records[order[k]];
            if (seal) {
                bucket.records.push_back({f[0], {}, {}, {}, {}});
                inputs.push_back({f[0], f[1], {f[2], f[3], f[4]}});
            } else {
                bucket.records.push_back({f[0], f[1], f[2], f[3], f[4]});
            }
        }
        if (seal) {
            bucket.sealed = sealAll(inputs, bucket.scope, [&](std::size_t n) { progress(done + n); }, padded);
            for (SealInput& input : inputs) {
                wipe(input.identity);
                for (std::u16string* text : {&input.record.xing, &input.record.chengji, &input.record.beizhu})
                    wipe(*text);
            }
        }
        done += bucket.records.size();
        progress(done);
        const std::string file = encodeArea(bucket, 0, ROSTER_SITE_VERSION);
        writeFile(dir / bucketPath(index.scope.rosterId, b), file);
        written.smallest = std::min(written.smallest, file.size());
        written.largest = std::max(written.largest, file.size());
        written.bytes += file.size();
    }

    // The page last, whole: until it is replaced the earlier packing's page
    // is served, with its own buckets.
    const std::string area = encodeArea(index, 0, ROSTER_SITE_VERSION);
    const auto filled = withPageArea(page, std::span(reinterpret_cast<const unsigned char*>(area.data()), area.size()),
                                     PageConnections::self);
    if (!filled)
        throw SiteError(display(dir) + ": error: the page template has no roster element or no policy");
    try {
        WholeFile(written.page).commit(*filled);
    } catch (const WriteError& failure) {
        throw SiteError(display(written.page) + ": error: cannot write the page: " + failure.what());
    }
    folder.kept = true;
    return written;
}
