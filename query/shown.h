// What Text4 shows of a candidate's record: the score without its leading
// and trailing spaces, one space, the remark. The query shows it; the
// office's packer counts the scores that will show empty or as 0 by it.
#pragma once

#include <string>
#include <string_view>

#include "form/toolkit.h"

inline std::u16string shownScore(std::u16string_view score, std::u16string_view remark)
{
    return tk::Trim(score) + u" " + std::u16string(remark);
}
