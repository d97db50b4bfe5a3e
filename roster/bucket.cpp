#include "roster/bucket.h"

#include <sodium.h>

#include <algorithm>

std::uint32_t bucketOf(std::u16string_view ticket, const RosterId& site, std::uint32_t buckets)
{
    static_assert(std::tuple_size_v<RosterId> == crypto_shorthash_KEYBYTES);
    std::vector<unsigned char> units(ticket.size() * 2);
    for (std::size_t i = 0; i < ticket.size(); ++i) {
        units[2 * i] = static_cast<unsigned char>(ticket[i] & 0xFF);
        units[2 * i + 1] = static_cast<unsigned char>(ticket[i] >> 8);
    }
    unsigned char hash[crypto_shorthash_BYTES];
    crypto_shorthash(hash, units.data(), units.size(), site.data());
    std::uint64_t value = 0;
    for (int i = crypto_shorthash_BYTES - 1; i >= 0; --i)
        value = value << 8 | hash[i];
    return static_cast<std::uint32_t>(value % buckets);
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

CarriedRoster decodeBucket(std::span<const unsigned char> file, const CarriedRoster& index, std::uint32_t bucket)
{
    if (file.size() > ROSTER_BUCKET_MAX)
        throw RosterAreaError("the bucket is larger than a bucket can be");
    CarriedRoster roster = decodeArea(file);
    const std::uint32_t version = file[16] | file[17] << 8 | file[18] << 16 | std::uint32_t{file[19]} << 24;
    if (version != ROSTER_SITE_VERSION || roster.isSite())
        throw RosterAreaError("it is not a site's bucket");
    if (roster.scope.rosterId != index.scope.rosterId || roster.isSealed() != index.isSealed() ||
        roster.scope.cost.opsLimit != index.scope.cost.opsLimit ||
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
