// A site: a roster of any size as files that any static web server, object
// store or CDN serves as they are. The page (index.html) carries the site's
// index in its roster element (roster/area.h, version 3); the records lie in
// bucket files beside it, each ticket in the bucket a keyed hash of it
// chooses. A lookup fetches the one bucket its ticket falls in: the server
// learns which bucket, never an identity number, and the ticket only as one
// of that bucket's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "roster/area.h"

// The largest bucket file a site has, and a page fetches.
inline constexpr std::size_t ROSTER_BUCKET_MAX = 64 * 1024;

// The bucket a ticket falls in: SipHash-2-4 (crypto_shorthash) of its UTF-16
// code units, little-endian, keyed with the site's identifier, modulo the
// number of buckets.
std::uint32_t bucketOf(std::u16string_view ticket, const RosterId& site, std::uint32_t buckets);

// A bucket's file, relative to the page: in a folder named after the site's
// identifier, which every packing makes anew, so that the files of a new
// packing never mix with cached files of an earlier one.
std::string bucketFolder(const RosterId& site);
std::string bucketPath(const RosterId& site, std::uint32_t bucket);

// A bucket file checked to be the one asked for: a bucket of version 3 of
// this site (its identifier, cost and sealing), every ticket in it falling
// in `bucket`. Throws RosterAreaError for anything else: a truncated or
// damaged file, an error page, a bucket of another packing or another bucket.
CarriedRoster decodeBucket(std::span<const unsigned char> file, const SiteIndex& index, std::uint32_t bucket);

// Where the record of `ticket` is in a bucket, if it has one.
std::optional<std::size_t> findTicket(const CarriedRoster& bucket, std::u16string_view ticket);

// The bucket of `ticket`, fetched from beside the page and checked; nothing
// when it does not load. A file that fails the check is fetched once more
// past the browser's cache, which keeps a bucket for good: a damaged copy
// cached once is not kept after the site is repaired. Defined with the
// roster load (roster/roster.cpp).
std::optional<CarriedRoster> loadBucket(const SiteIndex& index, std::u16string_view ticket);

// The platform's fetch of a file relative to the page: its bytes, or nothing
// (no network, not found, larger than ROSTER_BUCKET_MAX); `reload` past the
// browser's cache. The page's is in form/web/site_web.cpp; a program file
// has no site to fetch from (roster/roster.cpp).
std::optional<std::vector<unsigned char>> fetchSiteFile(const std::string& path, bool reload);
