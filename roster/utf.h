// Conversions between the roster's UTF-16 texts and UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) to
// UTF-16. On bad input: nothing, and the offset of the first bad byte in *bad.
std::optional<std::u16string> fromUtf8(std::string_view bytes, std::size_t* bad = nullptr);
