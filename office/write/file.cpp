#include "office/write/file.h"

#include <cerrno>
#include <cstring>

namespace fs = std::filesystem;

WholeFile::WholeFile(fs::path path) : path_(std::move(path)), partial_(path_)
{
    partial_ += ".partial";
    errno = 0;
    out_.open(partial_, std::ios::binary | std::ios::trunc);
    if (!out_)
        throw WriteError(std::strerror(errno));
}

WholeFile::~WholeFile()
{
    if (out_.is_open())
        out_.close();
    std::error_code ignored;
    if (!done_)
        fs::remove(partial_, ignored);
}

void WholeFile::commit(std::string_view bytes, fs::perms permissions)
{
    errno = 0;
    if (!out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || (out_.close(), !out_))
        throw WriteError(std::strerror(errno));
    std::error_code error;
    if (permissions != fs::perms::unknown)
        fs::permissions(partial_, permissions, error);
    fs::rename(partial_, path_, error);
    if (error)
        throw WriteError(error.message());
    done_ = true;
}
