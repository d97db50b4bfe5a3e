#include "roster/codec.h"

namespace codec {

void putU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void putVarint(std::string& out, std::size_t value)
{
    for (; value >= 0x80; value >>= 7)
        out += static_cast<char>(0x80 | (value & 0x7F));
    out += static_cast<char>(value);
}

void putUnits(std::string& out, std::u16string_view text)
{
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
}

void putText(std::string& out, std::u16string_view text)
{
    putVarint(out, text.size());
    putUnits(out, text);
}

void putBytes(std::string& out, std::string_view bytes)
{
    putVarint(out, bytes.size());
    out += bytes;
}

std::size_t varintSize(std::size_t value)
{
    std::size_t n = 1;
    for (; value >= 0x80; value >>= 7)
        ++n;
    return n;
}

std::size_t textSize(std::u16string_view text) { return varintSize(text.size()) + 2 * text.size(); }

std::size_t bytesSize(std::size_t size) { return varintSize(size) + size; }

std::uint32_t Reader::u32()
{
    const auto b = take(4);
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::uint64_t Reader::u64()
{
    const std::uint64_t low = u32();
    return low | std::uint64_t{u32()} << 32;
}

std::uint32_t Reader::varint(int longest)
{
    std::uint32_t value = 0;
    for (int shift = 0; shift < 7 * longest; shift += 7) {
        const unsigned char b = take(1)[0];
        value |= static_cast<std::uint32_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return value;
    }
    throw RosterAreaError("a length runs on");
}

std::u16string Reader::text()
{
    const std::uint32_t units = varint();
    if (units > remaining() / 2)
        throw RosterAreaError("a text runs past the end");
    const auto b = take(units * 2);
    std::u16string out(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        out[i] = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
    return out;
}

std::span<const unsigned char> Reader::bytes(int longest)
{
    const std::uint32_t size = varint(longest);
    if (size > remaining())
        throw RosterAreaError("a sealed record runs past the end");
    return take(size);
}

std::span<const unsigned char> Reader::take(std::size_t n)
{
    if (n > remaining())
        throw RosterAreaError("the area ends early");
    const auto out = bytes_.subspan(at_, n);
    at_ += n;
    return out;
}

}  // namespace codec
