// GB18030 (and so GBK, Excel's ANSI code page 936) as the reader decodes
// text files that carry no byte-order mark and are not UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// GB18030 to UTF-16; nothing if any byte sequence is not GB18030.
std::optional<std::u16string> fromGb18030(std::string_view bytes);
