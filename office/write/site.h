// varnholt-pack --site: the roster as a site (roster/bucket.h), a folder any
// static web server, object store or CDN serves as it is:
//   DIR/index.html            the page, carrying the site's index
//   DIR/IDENTIFIER/N.bin      bucket N, N from 0; IDENTIFIER names the packing
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "office/read/read.h"
#include "office/write/seal.h"

// The most candidates a site takes: far beyond any examination.
inline constexpr std::size_t ROSTER_MAX_SITE_RECORDS = 10'000'000;

// What a site could not be written for; the message names the file.
class SiteError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct SiteWritten {
    std::filesystem::path page, folder;
    std::size_t buckets, smallest, largest, bytes;  // bucket files and their sizes
};

// Writes the site of `page` (a page template) and the records, sealed at
// `seal` or in the clear, into `dir`, which may exist: a new packing's
// buckets go into a new folder beside earlier ones, so that a page already
// open keeps finding its own; index.html is replaced last, whole. Buckets
// are sealed one after another, each on every core, so memory holds one
// bucket beyond the records; `progress` hears how many records are done.
// On failure nothing of the new packing is left.
SiteWritten writeSite(const std::vector<RosterRecord>& records, std::optional<SealCost> seal,
                      const std::filesystem::path& dir, const std::string& page,
                      const std::function<void(std::size_t done)>& progress);
