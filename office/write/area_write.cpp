#include "office/write/area_write.h"
#include "roster/codec.h"
#include "roster/wipe.h"

#include <sodium.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The marker that starts every roster area. It is written here only.
constexpr std::string_view MARKER{"\x7FVARNHOLT-ROSTER", ROSTER_MARKER_SIZE};

// An area's payload, and the stretches of it the checksum covers.
struct Payload {
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> covered{{0, 0}};
};

// The records' payload; the checksum covers all of it but the bytes of sealed
// records, unless `coverSealed` (a site's bucket).
Payload payloadOf(const CarriedRoster& roster, bool coverSealed)
{
    Payload payload;
    std::string& out = payload.bytes;
    for (std::size_t i = 0; i < roster.records.size(); ++i) {
        const RosterRecord& record = roster.records[i];
        codec::putText(out, record.zhun);
        if (roster.isSealed()) {
            const std::string& sealed = roster.sealed.at(i);
            codec::putBytes(out, sealed);
            if (!coverSealed) {
                payload.covered.back().second = out.size() - sealed.size();
                payload.covered.emplace_back(out.size(), out.size());
            }
        } else {
            for (const auto field : {&RosterRecord::shen, &RosterRecord::xing, &RosterRecord::chengji,
                                     &RosterRecord::beizhu})
                codec::putText(out, record.*field);
        }
    }
    payload.covered.back().second = out.size();
    return payload;
}

// The whole area: marker, header, payload, and zeros up to `capacity`, or
// with capacity 0 nothing beyond what it needs.
std::string areaOf(std::uint32_t version, std::size_t capacity, std::uint32_t count, std::uint32_t flags,
                   const SealScope& scope, const Payload& payload)
{
    const std::size_t needed = ROSTER_AREA_HEADER + payload.bytes.size();
    if (capacity == 0)
        capacity = needed;
    if (needed > capacity)
        throw AreaFullError(needed, capacity);

    std::string fields;
    codec::putU32(fields, version);
    codec::putU32(fields, static_cast<std::uint32_t>(capacity));
    codec::putU32(fields, static_cast<std::uint32_t>(payload.bytes.size()));
    codec::putU32(fields, count);
    codec::putU32(fields, flags | (sealsRecords(scope) ? 1 : 0));
    codec::putU32(fields, scope.cost.opsLimit);
    codec::putU32(fields, scope.cost.memLimitKiB);
    fields.append(scope.rosterId.begin(), scope.rosterId.end());

    const auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    crypto_hash_sha256_state hash;
    crypto_hash_sha256_init(&hash);
    crypto_hash_sha256_update(&hash, bytes(fields), fields.size());
    for (const auto& [from, to] : payload.covered)
        crypto_hash_sha256_update(&hash, bytes(payload.bytes) + from, to - from);
    unsigned char checksum[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&hash, checksum);

    std::string area(MARKER);
    area += fields;
    area.append(reinterpret_cast<const char*>(checksum), sizeof checksum);
    area += payload.bytes;
    area.resize(capacity, '\0');
    return area;
}

// The copies of records that sealing takes, wiped however it ends.
struct WipedRecords {
    std::vector<RosterRecord> records;
    ~WipedRecords()
    {
        for (RosterRecord& record : records)
            for (const auto field : ROSTER_FIELDS)
                wipe(record.*field);
    }
};

}  // namespace

AreaFullError::AreaFullError(std::size_t needed, std::size_t capacity)
    : std::runtime_error("the roster needs " + std::to_string(needed) + " bytes; the program's roster area holds " +
                         std::to_string(capacity)),
      needed(needed), capacity(capacity)
{
}

std::size_t recordSize(const RosterRecord& record, std::optional<std::size_t> sealedBytes)
{
    if (sealedBytes)
        return codec::textSize(record.zhun) + codec::bytesSize(*sealedBytes);
    std::size_t size = 0;
    for (const auto field : ROSTER_FIELDS)
        size += codec::textSize(record.*field);
    return size;
}

CarriedRoster carryRecords(std::span<const RosterRecord* const> records, const SealScope& scope, std::size_t padded,
                           const std::function<void(std::size_t done)>& progress)
{
    CarriedRoster roster;
    roster.scope = scope;
    if (!roster.isSealed()) {
        for (const RosterRecord* record : records)
            roster.records.push_back(*record);
        return roster;
    }
    WipedRecords batch;
    batch.records.reserve(records.size());  // no copy left behind by a reallocation
    for (const RosterRecord* record : records) {
        batch.records.push_back(*record);
        roster.records.push_back({record->zhun, {}, {}, {}, {}});
    }
    roster.sealed = sealAll(batch.records, scope, progress ? progress : [](std::size_t) {}, padded);
    return roster;
}

CarriedRoster toCarry(const std::vector<RosterRecord>& records, std::size_t capacity, std::optional<SealCost> seal,
                      const std::function<void(std::size_t done)>& progress)
{
    std::vector<const RosterRecord*> order;
    for (const RosterRecord& record : records)
        order.push_back(&record);
    if (!seal)
        return carryRecords(order, {}, 0);
    checkCost(*seal);
    // Sealed: in ticket order, so the office's order (by position and
    // score) does not give away ranks; the window finds a record by its
    // ticket, and tickets are unique, so nothing it shows changes.
    std::sort(order.begin(), order.end(), [](const RosterRecord* a, const RosterRecord* b) { return a->zhun < b->zhun; });
    // Whether it fits is known before the long work of sealing.
    if (const std::size_t needed = areaNeeded(records, true); capacity != 0 && needed > capacity)
        throw AreaFullError(needed, capacity);
    return carryRecords(order, {newRosterId(), *seal}, paddedSize(records), progress);
}

std::size_t areaNeeded(const std::vector<RosterRecord>& records, bool sealed)
{
    const auto sealedBytes = sealed ? std::optional(sealedSize(paddedSize(records))) : std::nullopt;
    std::size_t needed = ROSTER_AREA_HEADER;
    for (const RosterRecord& record : records)
        needed += recordSize(record, sealedBytes);
    return needed;
}

std::string encodeArea(const CarriedRoster& roster, std::size_t capacity)
{
    return areaOf(ROSTER_AREA_VERSION, capacity, static_cast<std::uint32_t>(roster.records.size()), 0, roster.scope,
                  payloadOf(roster, false));
}

std::string encodeBucket(const CarriedRoster& bucket)
{
    return areaOf(ROSTER_SITE_VERSION, 0, static_cast<std::uint32_t>(bucket.records.size()), 0, bucket.scope,
                  payloadOf(bucket, true));
}

std::string encodeSiteIndex(const SiteIndex& index)
{
    return areaOf(ROSTER_SITE_VERSION, 0, index.buckets, ROSTER_SITE_INDEX, index.scope, {});
}

std::optional<std::size_t> findArea(std::span<const unsigned char> program)
{
    // A program that also writes areas (a test program) holds the marker as a
    // constant too: the area is where a whole area follows it.
    const auto same = [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); };
    std::uint32_t otherVersion = 0;
    for (auto at = program.begin();; ++at) {
        at = std::search(at, program.end(), MARKER.begin(), MARKER.end(), same);
        if (at == program.end())
            break;
        const auto area = program.subspan(static_cast<std::size_t>(at - program.begin()));
        const std::size_t capacity = areaCapacity(area);
        try {
            if (capacity >= ROSTER_AREA_HEADER && capacity <= area.size() && (decodeArea(area.first(capacity)), true))
                return static_cast<std::size_t>(at - program.begin());
        } catch (const RosterAreaError&) {
            if (const std::uint32_t version = areaVersion(area); version >= 1 && version < ROSTER_AREA_VERSION)
                otherVersion = version;
        }
    }
    if (otherVersion)
        throw RosterAreaError("its roster area is of version " + std::to_string(otherVersion) +
                              ", made by an earlier Varnholt; use the program that came with this tool");
    return std::nullopt;
}
