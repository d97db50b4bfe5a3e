// Precompressed twins: beside a page or a site's file, PATH.gz holding the
// same bytes gzip-compressed, which a static server sends as it is to a
// browser that takes gzip (nginx's gzip_static, and the static hosts of
// docs/office.md), so that no server has to compress anything.
#pragma once

#include <filesystem>
#include <string_view>

// Writes PATH.gz for BYTES, whole (office/write/file.h), where it is smaller
// than BYTES; else removes any PATH.gz an earlier packing left, which a
// server would send in place of the new file. The same bytes give the same
// twin on every platform: no name, no time, the operating system "unknown".
// WriteError on failure.
void writeTwin(const std::filesystem::path& path, std::string_view bytes);
