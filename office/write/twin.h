// Precompressed twins: beside a page or a site's file, PATH.gz and PATH.br
// holding the same bytes gzip- and brotli-compressed, which a static server
// sends as they are to a browser that takes either (nginx's gzip_static and
// brotli_static, and the static hosts of docs/office.md), so that no server
// has to compress anything.
#pragma once

#include <filesystem>
#include <string_view>

// Writes PATH.gz and PATH.br for BYTES, each whole (office/write/file.h)
// where it is smaller than BYTES; else removes any such twin an earlier
// packing left, which a server would send in place of the new file. The
// same bytes give the same twins on every platform: gzip's with no name, no
// time, the operating system "unknown". WriteError on failure.
void writeTwin(const std::filesystem::path& path, std::string_view bytes);
