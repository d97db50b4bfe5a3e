#include "roster/area.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace {

// The header's fields, checked against one another and the area's size.
struct Header {
    std::uint32_t version, payloadSize, count, flags;
    SealScope scope;
    std::span<const unsigned char> checksum;

    bool isSite() const { return version == ROSTER_SITE_VERSION; }
    bool isIndex() const { return flags & ROSTER_SITE_INDEX; }
};

Header readHeader(std::span<const unsigned char> area)
{
    if (area.size() < ROSTER_AREA_HEADER)
        throw RosterAreaError("the area is too small for its header");
    codec::Reader in(area.subspan(ROSTER_MARKER_SIZE, ROSTER_AREA_HEADER - ROSTER_MARKER_SIZE));
    Header header;
    header.version = in.u32();
    const std::uint32_t capacity = in.u32();
    header.payloadSize = in.u32();
    header.count = in.u32();
    header.flags = in.u32();
    header.scope.cost.opsLimit = in.u32();
    header.scope.cost.memLimitKiB = in.u32();
    const auto id = in.take(header.scope.rosterId.size());
    std::copy(id.begin(), id.end(), header.scope.rosterId.begin());
    header.checksum = in.take(crypto_hash_sha256_BYTES);
    if (header.version != ROSTER_AREA_VERSION && header.version != ROSTER_SITE_VERSION)
        throw RosterAreaError("version " + std::to_string(header.version) +
                              " of the roster area; this build reads version " + std::to_string(ROSTER_AREA_VERSION) +
                              " and a site's version " + std::to_string(ROSTER_SITE_VERSION));
    const bool site = header.isSite();
    if (capacity != area.size() || header.payloadSize > capacity - ROSTER_AREA_HEADER)
        throw RosterAreaError("its sizes do not agree");
    if (header.flags > (site ? 3u : 1u))
        throw RosterAreaError("unknown flags");
    const bool sealed = header.flags & 1, index = header.isIndex();
    // An index counts buckets and holds no records; a bucket may be empty.
    if (index ? header.count < 1 || header.count > ROSTER_MAX_BUCKETS || header.payloadSize != 0
              : header.count < (site ? 0u : 1u) || header.count > ROSTER_MAX_RECORDS)
        throw RosterAreaError("it holds " + std::to_string(header.count) + (index ? " buckets" : " records"));
    // A cost out of bounds would hang the program or fail its allocation.
    const SealCost cost = header.scope.cost;
    if (sealed ? !isSaneCost(cost) : cost.opsLimit || cost.memLimitKiB)
        throw RosterAreaError("its key derivation cost is out of bounds");
    return header;
}

// The records of the payload, and the checksum checked over the header's
// fields and the payload, sealed records left out but in a site's files.
CarriedRoster readRecords(std::span<const unsigned char> area, const Header& header)
{
    crypto_hash_sha256_state hash;
    crypto_hash_sha256_init(&hash);
    crypto_hash_sha256_update(&hash, area.data() + ROSTER_MARKER_SIZE,
                              ROSTER_AREA_HEADER - ROSTER_MARKER_SIZE - crypto_hash_sha256_BYTES);
    codec::Reader payload(area.subspan(ROSTER_AREA_HEADER, header.payloadSize));
    std::size_t hashedTo = 0;
    const auto hashTo = [&](std::size_t end) {
        crypto_hash_sha256_update(&hash, area.data() + ROSTER_AREA_HEADER + hashedTo, end - hashedTo);
        hashedTo = end;
    };
    const bool sealed = header.flags & 1, site = header.isSite();
    CarriedRoster roster;
    roster.scope = header.scope;
    roster.records.resize(header.isIndex() ? 0 : header.count);
    for (std::size_t i = 0; i < roster.records.size(); ++i) {
        RosterRecord& record = roster.records[i];
        record.zhun = payload.text();
        // A bucket's records are in ticket order, each ticket once.
        if (site && i > 0 && !(roster.records[i - 1].zhun < record.zhun))
            throw RosterAreaError("its records are out of order");
        if (sealed) {
            const auto bytes = payload.bytes();
            if (!site) {
                hashTo(payload.at() - bytes.size());
                hashedTo = payload.at();
            }
            roster.sealed.emplace_back(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        } else {
            record.shen = payload.text();
            record.xing = payload.text();
            record.chengji = payload.text();
            record.beizhu = payload.text();
        }
    }
    hashTo(payload.at());
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&hash, digest);
    if (payload.remaining() != 0)
        throw RosterAreaError("bytes follow the last record");
    if (std::memcmp(digest, header.checksum.data(), sizeof digest) != 0)
        throw RosterAreaError("its checksum does not match");
    return roster;
}

// A field of the header, read without checking the rest; 0 if the bytes are
// too short to hold a header.
std::uint32_t headerField(std::span<const unsigned char> area, std::size_t offset)
{
    if (area.size() < ROSTER_AREA_HEADER)
        return 0;
    return codec::Reader(area.subspan(offset, 4)).u32();
}

}  // namespace

std::size_t areaCapacity(std::span<const unsigned char> area) { return headerField(area, ROSTER_MARKER_SIZE + 4); }

std::uint32_t areaVersion(std::span<const unsigned char> area) { return headerField(area, ROSTER_MARKER_SIZE); }

CarriedRoster decodeArea(std::span<const unsigned char> area)
{
    const Header header = readHeader(area);
    if (header.isSite())
        throw RosterAreaError("it is a site's file, not a program's roster");
    return readRecords(area, header);
}

SiteIndex decodeSiteIndex(std::span<const unsigned char> area)
{
    const Header header = readHeader(area);
    if (!header.isSite() || !header.isIndex())
        throw RosterAreaError("it is not a site's index");
    readRecords(area, header);  // it holds none: its checksum is checked
    return {header.scope, header.count};
}

CarriedRoster decodeSiteBucket(std::span<const unsigned char> file)
{
    const Header header = readHeader(file);
    if (!header.isSite() || header.isIndex())
        throw RosterAreaError("it is not a site's bucket");
    return readRecords(file, header);
}
