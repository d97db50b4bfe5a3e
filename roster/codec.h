// The bytes of the roster area (roster/area.h), of a site's bucket
// (roster/bucket.h) and of a sealed record (roster/seal.h), written and read
// here only: integers little-endian, lengths as varints (LEB128: 7 bits a
// byte, the low ones first, the high bit set on all but the last), texts as
// a varint count of UTF-16 code units and the code units, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// An area that does not hold a roster as written: what is wrong with it.
class RosterAreaError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

namespace codec {

// Appends a value to `out`.
void putU32(std::string& out, std::uint32_t value);
void putVarint(std::string& out, std::size_t value);
void putUnits(std::string& out, std::u16string_view text);  // the code units alone, no count
void putText(std::string& out, std::u16string_view text);   // the count of code units, then the code units
void putBytes(std::string& out, std::string_view bytes);    // the count of bytes, then the bytes

// The bytes these write.
std::size_t varintSize(std::size_t value);
std::size_t textSize(std::u16string_view text);
std::size_t bytesSize(std::size_t size);  // of putBytes, for `size` bytes

// Reads bytes front to back; every read is checked against their end and
// throws RosterAreaError when it would run past it.
class Reader {
public:
    explicit Reader(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    std::uint32_t u32();
    std::uint64_t u64();
    // A varint of at most `longest` bytes.
    std::uint32_t varint(int longest = 5);
    std::u16string text();
    // The bytes after their count, itself of at most `longest` bytes.
    std::span<const unsigned char> bytes(int longest = 5);
    std::span<const unsigned char> take(std::size_t n);

    std::size_t remaining() const { return bytes_.size() - at_; }
    std::size_t at() const { return at_; }

private:
    std::span<const unsigned char> bytes_;
    std::size_t at_ = 0;
};

}  // namespace codec
