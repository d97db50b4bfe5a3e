#include "roster/area.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace {

// Reads the area front to back; every read is checked against its end.
class Reader {
public:
    explicit Reader(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    std::uint32_t u32()
    {
        const auto b = take(4);
        return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }

    std::uint32_t varint()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            const unsigned char b = take(1)[0];
            value |= static_cast<std::uint32_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return value;
        }
        throw RosterAreaError("a length runs on");
    }

    std::u16string text()
    {
        const std::uint32_t units = varint();
        if (units > remaining() / 2)
            throw RosterAreaError("a text runs past the end");
        const auto b = take(units * 2);
        std::u16string out(units, u'\0');
        for (std::size_t i = 0; i < units; ++i)
            out[i] = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
        return out;
    }

    std::span<const unsigned char> bytes()
    {
        const std::uint32_t size = varint();
        if (size > remaining())
            throw RosterAreaError("a sealed record runs past the end");
        return take(size);
    }

    std::span<const unsigned char> take(std::size_t n)
    {
        if (n > remaining())
            throw RosterAreaError("the area ends early");
        const auto out = bytes_.subspan(at_, n);
        at_ += n;
        return out;
    }

    std::size_t remaining() const { return bytes_.size() - at_; }
    std::size_t at() const { return at_; }

private:
    std::span<const unsigned char> bytes_;
    std::size_t at_ = 0;
};

}  // namespace

std::size_t areaCapacity(std::span<const unsigned char> area)
{
    if (area.size() < ROSTER_AREA_HEADER)
        return 0;
    Reader header(area.subspan(ROSTER_MARKER_SIZE + 4, 4));
    return header.u32();
}

CarriedRoster decodeArea(std::span<const unsigned char> area)
{
    if (area.size() < ROSTER_AREA_HEADER)
        throw RosterAreaError("the area is too small for its header");
    Reader header(area.subspan(ROSTER_MARKER_SIZE, ROSTER_AREA_HEADER - ROSTER_MARKER_SIZE));
    const std::uint32_t version = header.u32(), capacity = header.u32(), payloadSize = header.u32();
    std::uint32_t count = header.u32();
    const std::uint32_t flags = header.u32();
    CarriedRoster roster;
    roster.scope.cost.opsLimit = header.u32();
    roster.scope.cost.memLimitKiB = header.u32();
    const auto id = header.take(roster.scope.rosterId.size());
    std::copy(id.begin(), id.end(), roster.scope.rosterId.begin());
    const auto checksum = header.take(crypto_hash_sha256_BYTES);
    if (version != ROSTER_AREA_VERSION && version != ROSTER_SITE_VERSION)
        throw RosterAreaError("version " + std::to_string(version) + " of the roster area; this build reads version " +
                              std::to_string(ROSTER_AREA_VERSION) + " and a site's version " +
                              std::to_string(ROSTER_SITE_VERSION));
    const bool site = version == ROSTER_SITE_VERSION;
    if (capacity != area.size() || payloadSize > capacity - ROSTER_AREA_HEADER)
        throw RosterAreaError("its sizes do not agree");
    if (flags > (site ? 3u : 1u))
        throw RosterAreaError("unknown flags");
    const bool sealed = flags & 1, index = flags & ROSTER_SITE_INDEX;
    // An index counts buckets and holds no records; a bucket may be empty.
    if (index ? count < 1 || count > ROSTER_MAX_BUCKETS || payloadSize != 0
              : count < (site ? 0u : 1u) || count > ROSTER_MAX_RECORDS)
        throw RosterAreaError("it holds " + std::to_string(count) + (index ? " buckets" : " records"));
    // A cost out of bounds would hang the program or fail its allocation.
    if (sealed ? !isSaneCost(roster.scope.cost) : roster.scope.cost.opsLimit || roster.scope.cost.memLimitKiB)
        throw RosterAreaError("its key derivation cost is out of bounds");

    // The checksum covers the header's fields and the payload, sealed records
    // left out but in a site's files.
    crypto_hash_sha256_state hash;
    crypto_hash_sha256_init(&hash);
    crypto_hash_sha256_update(&hash, area.data() + ROSTER_MARKER_SIZE,
                              ROSTER_AREA_HEADER - ROSTER_MARKER_SIZE - crypto_hash_sha256_BYTES);
    Reader payload(area.subspan(ROSTER_AREA_HEADER, payloadSize));
    std::size_t hashedTo = 0;
    const auto hashTo = [&](std::size_t end) {
        crypto_hash_sha256_update(&hash, area.data() + ROSTER_AREA_HEADER + hashedTo, end - hashedTo);
        hashedTo = end;
    };
    roster.sealedSite = site && sealed;
    if (index) {
        roster.buckets = count;
        count = 0;
    }
    roster.records.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
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
    if (std::memcmp(digest, checksum.data(), sizeof digest) != 0)
        throw RosterAreaError("its checksum does not match");
    return roster;
}
