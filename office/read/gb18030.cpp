#include "office/read/gb18030.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

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
