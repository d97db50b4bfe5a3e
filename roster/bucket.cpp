#include "roster/bucket.h"

#include <sodium.h>

#include <algorithm>

std::uint32_t bucketOf(std::u16string_view ticket, const RosterId& site, std::uint32_t buckets)
{
    static_assert(std::tuple_size_v<RosterId> == crypto_shorthash_KEYBYTES);
    std::string units;
    codec::putUnits(units, ticket);
    unsigned char hash[crypto_shorthash_BYTES];
    static_assert(sizeof hash == 8);
    crypto_shorthash(hash, reinterpret_cast<const unsigned char*>(units.data()), units.size(), site.data());
    return static_cast<std::uint32_t>(codec::Reader(hash).u64() % buckets);
}

std::string bucketFolder(const RosterId& site)
{
    char hex[2 * 8 + 1];
    sodium_bin2hex(hex, sizeof hex, site.data(), 8);
    return hex;
}

std::string bucketPath(const RosterId& site, std::uint32_t bucket)
{
    return bucketFolder(site) + "/" + std::to_string(bucket) + ".bin";
}

CarriedRoster decodeBucket(std::span<const unsigned char> file, const SiteIndex& index, std::uint32_t bucket)
{
    if (file.size() > ROSTER_BUCKET_MAX)
        throw RosterAreaError("the bucket is larger than a bucket can be");
    CarriedRoster roster = decodeSiteBucket(file);
    // The same identifier and cost, and so the same sealing.
    if (roster.scope.rosterId != index.scope.rosterId || roster.scope.cost.opsLimit != index.scope.cost.opsLimit ||
        roster.scope.cost.memLimitKiB != index.scope.cost.memLimitKiB)
        throw RosterAreaError("it is a bucket of another packing");
    for (const RosterRecord& record : roster.records)
        if (bucketOf(record.zhun, index.scope.rosterId, index.buckets) != bucket)
            throw RosterAreaError("it is another bucket");
    return roster;
}

std::optional<std::size_t> findTicket(const CarriedRoster& bucket, std::u16string_view ticket)
{
    const auto& records = bucket.records;
    const auto at = std::lower_bound(records.begin(), records.end(), ticket,
                                     [](const RosterRecord& r, std::u16string_view t) { return r.zhun < t; });
    if (at == records.end() || at->zhun != ticket)
        return std::nullopt;
    return static_cast<std::size_t>(at - records.begin());
}
