#include "office/write/twin.h"

#include <brotli/encode.h>
#include <zlib.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

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

// Brotli's best quality and its default window, as `brotli -q 11 -w 22`
// writes it; the encoder's output depends on nothing else.
std::string brotlied(std::string_view bytes)
{
    std::size_t size = BrotliEncoderMaxCompressedSize(bytes.size());
    if (size == 0)
        throw std::length_error("brotli: the file is too large to compress in one piece");
    std::string out(size, '\0');
    if (!BrotliEncoderCompress(BROTLI_MAX_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, bytes.size(),
                               reinterpret_cast<const std::uint8_t*>(bytes.data()), &size,
                               reinterpret_cast<std::uint8_t*>(out.data())))
        throw std::bad_alloc();
    out.resize(size);
    return out;
}

}  // namespace

void writeTwin(const fs::path& path, std::string_view bytes)
{
    for (const auto& [suffix, compress] : {std::pair{".gz", &gzipped}, std::pair{".br", &brotlied}}) {
        fs::path twin = path;
        twin += suffix;
        const std::string compressed = compress(bytes);
        if (compressed.size() < bytes.size()) {
            WholeFile(twin).commit(compressed);
            continue;
        }
        std::error_code error;
        fs::remove(twin, error);
        if (error)
            throw WriteError(twin.filename().string() + ": " + error.message());
    }
}
