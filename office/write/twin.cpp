#include "office/write/twin.h"

#include <zlib.h>

#include <new>
#include <stdexcept>
#include <string>

#include "office/write/file.h"

namespace fs = std::filesystem;

namespace {

std::string gzipped(std::string_view bytes)
{
    z_stream stream{};
    // Window bits 15 + 16: a gzip header and trailer around the deflate data.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    gz_header header{};
    header.os = 255;  // zlib's default names the platform it was built for
    deflateSetHeader(&stream, &header);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::length_error("gzip: the file is too large to compress in one piece");
    return out;
}

}  // namespace

void writeTwin(const fs::path& path, std::string_view bytes)
{
    fs::path twin = path;
    twin += ".gz";
    const std::string compressed = gzipped(bytes);
    if (compressed.size() < bytes.size()) {
        WholeFile(twin).commit(compressed);
        return;
    }
    std::error_code error;
    fs::remove(twin, error);
    if (error)
        throw WriteError(twin.filename().string() + ": " + error.message());
}
