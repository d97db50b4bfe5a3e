#include "roster/utf.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::optional<std::u16string> fromUtf8(std::string_view in, std::size_t* bad)
{
    std::u16string out;
    std::size_t i = 0;
    const auto fail = [&] {
        if (bad)
            *bad = i;
        return std::nullopt;
    };
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        const int length = b0 < 0x80 ? 1 : b0 >= 0xC2 && b0 <= 0xDF ? 2 : b0 >= 0xE0 && b0 <= 0xEF ? 3
                                      : b0 >= 0xF0 && b0 <= 0xF4                               ? 4
                                                                                               : 0;
        if (length == 0 || i + length > in.size())
            return fail();
        char32_t cp = length == 1 ? b0 : b0 & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(in[i + k]);
            if ((b & 0xC0) != 0x80)
                return fail();
            cp = (cp << 6) | (b & 0x3F);
        }
        const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
        if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return fail();
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
        i += length;
    }
    return out;
}

std::optional<std::u16string> fromGb18030(std::string_view bytes)
{
    if (bytes.empty())
        return std::u16string();
#ifdef _WIN32
    // Wine has no table for GB18030 (54936); there GBK (936), its two-byte part, stands in.
    const UINT codePage = IsValidCodePage(54936) ? 54936 : 936;
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units == 0)
        return std::nullopt;
    std::u16string out(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, reinterpret_cast<wchar_t*>(out.data()),
                        units);
    return out;
#else
    const iconv_t converter = iconv_open("UTF-16LE", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string buffer(bytes.size() * 2, '\0');  // one UTF-16 unit (2 bytes) takes 1 or 2 bytes, a pair 4
    char* in = const_cast<char*>(bytes.data());
    char* out = buffer.data();
    std::size_t inLeft = bytes.size(), outLeft = buffer.size();
    const bool ok = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    iconv_close(converter);
    if (!ok)
        return std::nullopt;
    std::u16string text((buffer.size() - outLeft) / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(buffer[2 * i]) |
                                        static_cast<unsigned char>(buffer[2 * i + 1]) << 8);
    return text;
#endif
}
