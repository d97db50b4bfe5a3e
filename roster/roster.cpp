// The roster columns and their load from the roster area.
#include "form/form1.h"
#include "roster/area.h"
#include "roster/bucket.h"

std::size_t Column::checked(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= texts_.size())
        throw tk::subscriptError();
    return static_cast<std::size_t>(index);
}

namespace {

// What the area holds: a roster (version 2), or a site's index (version 3).
struct Carried {
    CarriedRoster roster;
    std::optional<SiteIndex> site;
};

const Carried& carried()
{
    static const Carried carried = [] {
        try {
            const auto area = rosterArea();
            if (areaVersion(area) == ROSTER_SITE_VERSION)
                return Carried{{}, decodeSiteIndex(area)};
            return Carried{decodeArea(area), std::nullopt};
        } catch (const RosterAreaError&) {
            throw tk::RuntimeError(321, u"文件格式无效：程序文件中的名单已损坏");
        }
    }();
    return carried;
}

}  // namespace

const CarriedRoster& carriedRoster() { return carried().roster; }

const SiteIndex* carriedSite() { return carried().site ? &*carried().site : nullptr; }

// Each procedure assigns rows 1 to ROSTER_ROWS of its own column, in order.
void Form1::xing111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        xing(row) = carriedRoster().records[row - 1].xing;
}

void Form1::zhun111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        zhun(row) = carriedRoster().records[row - 1].zhun;
}

void Form1::shen111()
{
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        shen(row) = carriedRoster().records[row - 1].shen;
}

std::optional<CarriedRoster> loadBucket(const SiteIndex& index, std::u16string_view ticket)
{
    const std::uint32_t bucket = bucketOf(ticket, index.scope.rosterId, index.buckets);
    const std::string path = bucketPath(index.scope.rosterId, bucket);
    for (const bool reload : {false, true}) {
        const auto fetched = fetchSiteFile(path, reload);
        if (!fetched)
            return std::nullopt;
        try {
            return decodeBucket(*fetched, index, bucket);
        } catch (const RosterAreaError&) {
        }
    }
    return {};
}

#ifndef __EMSCRIPTEN__
// A program file carries its whole roster: it has no site to fetch from.
std::optional<std::vector<unsigned char>> fetchSiteFile(const std::string&, bool)
{
    return std::nullopt;
}
#endif
