// A file written whole or not at all: its bytes go first into PATH.partial
// beside it, which replaces PATH only once every byte is written.
#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

// Why a file could not be written: the operating system's reason.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens PATH.partial at once, so that a folder that cannot be written is
// found before any long work. Unless the commit succeeds, the partial file
// is removed again and PATH is left as it was.
class WholeFile {
public:
    explicit WholeFile(std::filesystem::path path);  // WriteError when PATH.partial cannot be made
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;
    ~WholeFile();

    // Writes the bytes, gives the file these permissions (unknown: the
    // default ones) and puts it in PATH's place; WriteError on failure.
    void commit(std::string_view bytes, std::filesystem::perms permissions = std::filesystem::perms::unknown);

private:
    std::filesystem::path path_, partial_;
    std::ofstream out_;
    bool done_ = false;
};
