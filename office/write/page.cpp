#include "office/write/page.h"

#include <sodium.h>

std::optional<PageText> findPageArea(std::string_view page)
{
    const std::size_t start = page.find(PAGE_AREA_START);
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t offset = start + PAGE_AREA_START.size();
    const std::size_t end = page.find(PAGE_AREA_END, offset);
    if (end == std::string_view::npos)
        return std::nullopt;
    return PageText{offset, end - offset};
}

std::optional<std::string> withPageArea(std::string_view page, std::span<const unsigned char> area)
{
    const auto at = findPageArea(page);
    if (!at)
        return std::nullopt;
    std::size_t used = area.size();
    while (used > 0 && area[used - 1] == 0)
        --used;
    std::string text(sodium_base64_encoded_len(used, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), area.data(), used, sodium_base64_VARIANT_ORIGINAL);
    text.pop_back();  // its NUL
    std::string out(page);
    out.replace(at->offset, at->size, text);
    return out;
}

std::optional<std::string> withSitePolicy(std::string_view page)
{
    constexpr std::string_view NONE = R"(http-equiv="Content-Security-Policy" content="default-src 'none'; )";
    const std::size_t at = page.find(NONE);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string out(page);
    out.insert(at + NONE.size(), "connect-src 'self'; ");
    return out;
}
