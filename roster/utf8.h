// UTF-8, the encoding of the roster data set and of sealed records, for the
// program's UTF-16 texts.
#pragma once

#include <string>
#include <string_view>

// Decodes UTF-8 strictly (no overlong forms, no surrogates, nothing above
// U+10FFFF) into UTF-16, appended to `out`. Returns the offset of the first
// bad byte, or npos.
std::size_t decodeUtf8(std::string_view in, std::u16string& out);

// The UTF-8 of a text. Throws std::invalid_argument for a surrogate that is
// not one of a pair, which UTF-8 cannot carry.
std::string toUtf8(std::u16string_view text);
