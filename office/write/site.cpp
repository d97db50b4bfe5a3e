#include "office/write/site.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <future>
#include <thread>

#include "office/write/area_write.h"
#include "office/write/file.h"
#include "roster/bucket.h"
#include "office/write/page.h"
#include "office/write/twin.h"
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

// A bucket's file and its twin (office/write/twin.h).
void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << bytes) || (out.close(), !out))
        throw SiteError(display(path) + ": error: cannot write the file");
    try {
        writeTwin(path, bytes);
    } catch (const WriteError& failure) {
        throw SiteError(display(path) + ": error: cannot write its compressed twin: " + failure.what());
    }
}

// The new packing's folder, made here and removed again unless the site is
// complete.
struct NewFolder {
    fs::path path;
    bool kept = false;

    NewFolder(const fs::path& dir, const fs::path& folder) : path(folder)
    {
        std::error_code error;
        fs::create_directories(dir, error);
        if (error || !fs::create_directory(path, error))
            throw SiteError(display(path) + ": error: cannot make the folder: " +
                            (error ? error.message() : "it exists"));
    }
    NewFolder(const NewFolder&) = delete;
    NewFolder& operator=(const NewFolder&) = delete;
    ~NewFolder()
    {
        std::error_code ignored;
        if (!kept)
            fs::remove_all(path, ignored);
    }
};

// The records of every bucket, in ticket order: bucket b holds
// records[order[k]] for k from first[b] up to first[b + 1].
struct Buckets {
    std::vector<std::size_t> first;
    std::vector<std::uint32_t> order;
};

void checkCount(const std::vector<RosterRecord>& records, const fs::path& dir)
{
    if (records.size() > ROSTER_MAX_SITE_RECORDS)
        throw SiteError(display(dir) + ": error: the roster has " + std::to_string(records.size()) +
                        " records; a site holds at most " + std::to_string(ROSTER_MAX_SITE_RECORDS));
}

// Each record's bytes in a bucket: sealed records all padded to one size.
std::vector<std::uint32_t> recordSizes(const std::vector<RosterRecord>& records, const SealScope& scope,
                                       std::size_t padded, const fs::path& dir)
{
    const auto sealedBytes = sealsRecords(scope) ? std::optional(sealedSize(padded)) : std::nullopt;
    std::vector<std::uint32_t> sizes(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        sizes[i] = static_cast<std::uint32_t>(recordSize(records[i], sealedBytes));
        if (ROSTER_AREA_HEADER + sizes[i] > ROSTER_BUCKET_MAX)
            throw SiteError(display(dir) + ": error: the record of ticket " + toUtf8(records[i].zhun) +
                            " is too long for a site's bucket");
    }
    return sizes;
}

// The number of buckets, and the bucket of each record.
struct Spread {
    std::uint32_t count;
    std::vector<std::uint32_t> bucketOfRecord;
};

// As few buckets as keep every one within ROSTER_BUCKET_MAX, about
// BUCKET_TARGET each: the keyed hash spreads the tickets evenly.
Spread chooseBuckets(const std::vector<RosterRecord>& records, const std::vector<std::uint32_t>& sizes,
                     const RosterId& site, const fs::path& dir)
{
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
            bucketOfRecord[i] = bucketOf(records[i].zhun, site, static_cast<std::uint32_t>(buckets));
            bucketBytes[bucketOfRecord[i]] += sizes[i];
        }
        if (*std::max_element(bucketBytes.begin(), bucketBytes.end()) <= ROSTER_BUCKET_MAX)
            break;
    }
    return {static_cast<std::uint32_t>(bucketBytes.size()), std::move(bucketOfRecord)};
}

// The records of each bucket, in ticket order.
Buckets groupByBucket(const std::vector<RosterRecord>& records, const Spread& spread)
{
    const std::uint32_t count = spread.count;
    const std::vector<std::uint32_t>& bucketOfRecord = spread.bucketOfRecord;
    Buckets buckets{std::vector<std::size_t>(count + 1, 0), std::vector<std::uint32_t>(records.size())};
    std::vector<std::size_t>& first = buckets.first;
    for (std::uint32_t b : bucketOfRecord)
        ++first[b + 1];
    for (std::size_t b = 0; b < count; ++b)
        first[b + 1] += first[b];
    std::vector<std::size_t> next(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < records.size(); ++i)
        buckets.order[next[bucketOfRecord[i]]++] = static_cast<std::uint32_t>(i);
    for (std::size_t b = 0; b < count; ++b)
        std::sort(buckets.order.begin() + static_cast<std::ptrdiff_t>(first[b]),
                  buckets.order.begin() + static_cast<std::ptrdiff_t>(first[b + 1]),
                  [&](std::uint32_t x, std::uint32_t y) { return records[x].zhun < records[y].zhun; });
    return buckets;
}

// Every bucket's file, one after another, each sealed on every core. Its
// file and twins are written beside the next buckets' work, on as many
// threads as there are cores: brotli's best quality takes longer than
// sealing a plain bucket. A failure waits for the writes already begun.
void writeBuckets(const std::vector<RosterRecord>& records, const Buckets& buckets, const SiteIndex& index,
                  std::size_t padded, const fs::path& dir, SiteWritten& written,
                  const std::function<void(std::size_t done)>& progress)
{
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::deque<std::future<void>> writing;  // each one's destructor waits for it
    std::size_t done = 0;
    for (std::uint32_t b = 0; b < index.buckets; ++b) {
        std::vector<const RosterRecord*> batch;
        for (std::size_t k = buckets.first[b]; k < buckets.first[b + 1]; ++k)
            batch.push_back(&records[buckets.order[k]]);
        const CarriedRoster bucket =
            carryRecords(batch, index.scope, padded, [&](std::size_t n) { progress(done + n); });
        done += bucket.records.size();
        progress(done);
        std::string file = encodeBucket(bucket);
        written.smallest = std::min(written.smallest, file.size());
        written.largest = std::max(written.largest, file.size());
        written.bytes += file.size();
        if (writing.size() == cores) {
            writing.front().get();
            writing.pop_front();
        }
        writing.push_back(std::async(std::launch::async, [path = dir / bucketPath(index.scope.rosterId, b),
                                                          file = std::move(file)] { writeFile(path, file); }));
    }
    for (; !writing.empty(); writing.pop_front())
        writing.front().get();
}

// The page last, whole, its twin just before it: until they are replaced
// the earlier packing's page is served, with its own buckets. Its program
// goes into files of their own before it, named by their hashes: the same
// program is the same files, which an earlier packing may already have written.
void writePage(const SiteIndex& index, const fs::path& dir, const std::string& page, const SiteWritten& written)
{
    const auto outside = withProgramOutside(page);
    const std::string area = encodeSiteIndex(index);
    const auto filled =
        outside ? withPageArea(outside->page, std::span(reinterpret_cast<const unsigned char*>(area.data()), area.size()),
                               PageConnections::self)
                : std::nullopt;
    if (!filled)
        throw SiteError(display(dir) + ": error: the page template has no program, roster element or policy");
    for (const ProgramFile* file : {&outside->wasm, &outside->script}) {
        const fs::path path = dir / file->name;
        try {
            writeTwin(path, file->bytes);
            WholeFile(path).commit(file->bytes);
        } catch (const WriteError& failure) {
            throw SiteError(display(path) + ": error: cannot write the program: " + failure.what());
        }
    }
    try {
        writeTwin(written.page, *filled);
        WholeFile(written.page).commit(*filled);
    } catch (const WriteError& failure) {
        throw SiteError(display(written.page) + ": error: cannot write the page: " + failure.what());
    }
}

}  // namespace

SiteWritten writeSite(const std::vector<RosterRecord>& records, std::optional<SealCost> seal, const fs::path& dir,
                      const std::string& page, const std::function<void(std::size_t done)>& progress)
{
    checkCount(records, dir);
    if (seal)
        checkCost(*seal);
    SiteIndex index{{newRosterId(), seal.value_or(SealCost{0, 0})}};
    const std::size_t padded = seal ? paddedSize(records) : 0;
    const std::vector<std::uint32_t> sizes = recordSizes(records, index.scope, padded, dir);
    const Spread spread = chooseBuckets(records, sizes, index.scope.rosterId, dir);
    index.buckets = spread.count;
    const Buckets buckets = groupByBucket(records, spread);
    NewFolder folder(dir, dir / bucketFolder(index.scope.rosterId));
    SiteWritten written{dir / "index.html", folder.path, index.buckets, ROSTER_BUCKET_MAX, 0, 0};
    writeBuckets(records, buckets, index, padded, dir, written, progress);
    writePage(index, dir, page, written);
    folder.kept = true;
    return written;
}
