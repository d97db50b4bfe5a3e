#include "office/write/area_write.h"
#include "roster/wipe.h"

#include <sodium.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The marker that starts every roster area. It is written here only.
constexpr std::string_view MARKER{"\x7FVARNHOLT-ROSTER", ROSTER_MARKER_SIZE};

void putU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void putVarint(std::string& out, std::size_t value)
{
    for (; value >= 0x80; value >>= 7)
        out += static_cast<char>(0x80 | (value & 0x7F));
    out += static_cast<char>(value);
}

void putText(std::string& out, std::u16string_view text)
{
    putVarint(out, text.size());
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
}

}  // namespace

AreaFullError::AreaFullError(std::size_t needed, std::size_t capacity)
    : std::runtime_error("the roster needs " + std::to_string(needed) + " bytes; the program's roster area holds " +
                         std::to_string(capacity)),
      needed(needed), capacity(capacity)
{
}

CarriedRoster toCarry(const std::vector<RosterFields>& records, std::size_t capacity, std::optional<SealCost> seal,
                      const std::function<void(std::size_t done)>& progress)
{
    CarriedRoster roster;
    if (!seal) {
        for (const RosterFields& f : records)
            roster.records.push_back({f[0], f[1], f[2], f[3], f[4]});
        return roster;
    }
    // Sealed: in ticket order, so the office's order (by position and
    // score) does not give away ranks; the window finds a record by its
    // ticket, and tickets are unique, so nothing it shows changes.
    std::vector<SealInput> inputs;
    for (const RosterFields& f : records)
        inputs.push_back({f[0], f[1], {f[2], f[3], f[4]}});
    std::sort(inputs.begin(), inputs.end(), [](const SealInput& a, const SealInput& b) { return a.ticket < b.ticket; });
    for (const SealInput& input : inputs)
        roster.records.push_back({input.ticket, {}, {}, {}, {}});
    roster.scope = {newRosterId(), *seal};

    // Whether it fits is known before the long work of sealing.
    roster.sealed.assign(inputs.size(), std::string(sealedSize(paddedSize(inputs)), '\0'));
    (void)encodeArea(roster, capacity);
    roster.sealed = sealAll(inputs, roster.scope, progress ? progress : [](std::size_t) {});
    for (SealInput& input : inputs) {
        wipe(input.identity);
        for (std::u16string* text : {&input.record.xing, &input.record.chengji, &input.record.beizhu})
            wipe(*text);
    }
    return roster;
}

std::size_t areaNeeded(const std::vector<RosterFields>& records, bool sealed)
{
    const auto textSize = [](std::u16string_view text) {
        std::string varint;
        putVarint(varint, text.size());
        return varint.size() + 2 * text.size();
    };
    std::vector<SealInput> inputs;
    std::size_t needed = ROSTER_AREA_HEADER;
    for (const RosterFields& f : records) {
        needed += textSize(f[0]);
        if (sealed)
            inputs.push_back({{}, {}, {f[2], f[3], f[4]}});
        else
            needed += textSize(f[1]) + textSize(f[2]) + textSize(f[3]) + textSize(f[4]);
    }
    if (sealed && !records.empty()) {
        const std::size_t size = sealedSize(paddedSize(inputs));
        std::string varint;
        putVarint(varint, size);
        needed += records.size() * (varint.size() + size);
    }
    for (SealInput& input : inputs)
        for (std::u16string* text : {&input.record.xing, &input.record.chengji, &input.record.beizhu})
            wipe(*text);
    return needed;
}

std::string encodeArea(const CarriedRoster& roster, std::size_t capacity, std::uint32_t version)
{
    // The payload, and the stretches of it the checksum covers: all but the
    // bytes of sealed records, which a site's files cover too.
    std::string payload;
    std::vector<std::pair<std::size_t, std::size_t>> covered{{0, 0}};
    for (std::size_t i = 0; i < roster.records.size(); ++i) {
        const RosterRecord& record = roster.records[i];
        putText(payload, record.zhun);
        if (roster.isSealed()) {
            putVarint(payload, roster.sealed[i].size());
            payload += roster.sealed[i];
            if (version != ROSTER_SITE_VERSION) {
                covered.back().second = payload.size() - roster.sealed[i].size();
                covered.emplace_back(payload.size(), payload.size());
            }
        } else {
            for (const std::u16string* text : {&record.shen, &record.xing, &record.chengji, &record.beizhu})
                putText(payload, *text);
        }
    }
    covered.back().second = payload.size();

    const std::size_t needed = ROSTER_AREA_HEADER + payload.size();
    if (capacity == 0)
        capacity = needed;
    if (needed > capacity)
        throw AreaFullError(needed, capacity);

    std::string fields;
    putU32(fields, version);
    putU32(fields, static_cast<std::uint32_t>(capacity));
    putU32(fields, static_cast<std::uint32_t>(payload.size()));
    putU32(fields, static_cast<std::uint32_t>(roster.isSite() ? roster.buckets : roster.records.size()));
    putU32(fields, (roster.isSealed() ? 1 : 0) | (roster.isSite() ? ROSTER_SITE_INDEX : 0));
    putU32(fields, roster.scope.cost.opsLimit);
    putU32(fields, roster.scope.cost.memLimitKiB);
    fields.append(roster.scope.rosterId.begin(), roster.scope.rosterId.end());

    const auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    crypto_hash_sha256_state hash;
    crypto_hash_sha256_init(&hash);
    crypto_hash_sha256_update(&hash, bytes(fields), fields.size());
    for (const auto& [from, to] : covered)
        crypto_hash_sha256_update(&hash, bytes(payload) + from, to - from);
    unsigned char checksum[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&hash, checksum);

    std::string area(MARKER);
    area += fields;
    area.append(reinterpret_cast<const char*>(checksum), sizeof checksum);
    area += payload;
    area.resize(capacity, '\0');
    return area;
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
            const std::uint32_t version = area[16] | area[17] << 8 | area[18] << 16 | std::uint32_t{area[19]} << 24;
            if (version >= 1 && version < ROSTER_AREA_VERSION)
                otherVersion = version;
        }
    }
    if (otherVersion)
        throw RosterAreaError("its roster area is of version " + std::to_string(otherVersion) +
                              ", made by an earlier Varnholt; use the program that came with this tool");
    return std::nullopt;
}
