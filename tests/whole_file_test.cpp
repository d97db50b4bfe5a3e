// A file written whole or not at all: the partial file beside it takes the
// file's place once every byte is written, and is gone when writing fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "office/write/file.h"

namespace fs = std::filesystem;

TEST(WholeFile, replacesTheFileOnlyOnceEveryByteIsWritten)
{
    const fs::path dir = fs::temp_directory_path() / ("varnholt-whole-file-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const fs::path path = dir / "index.html", partial = dir / "index.html.partial";
    const auto text = [&] {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return bytes.str();
    };
    WholeFile(path).commit("first");
    WholeFile(path).commit("second");
    { WholeFile unfinished(path); }  // never committed
    EXPECT_EQ(text(), "second");
    EXPECT_FALSE(fs::exists(fs::symlink_status(partial)));
#ifndef _WIN32
    // The partial file on a full disk: the write fails, the file stays.
    fs::create_symlink("/dev/full", partial);
    EXPECT_THROW(WholeFile(path).commit(std::string(1 << 16, 'x')), WriteError);
    EXPECT_EQ(text(), "second");
    EXPECT_FALSE(fs::exists(fs::symlink_status(partial)));
#endif
    fs::remove_all(dir);
}
