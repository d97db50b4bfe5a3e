// What Text4 must show of a record, written from the rule and not from the
// program's code: the score without its leading and trailing U+0020, one
// space, the remark. The query's tests and fuzzer check the window by it.
#pragma once

#include <string>
#include <string_view>

inline std::u16string modelShownScore(std::u16string_view score, std::u16string_view remark)
{
    std::size_t first = 0, last = score.size();
    while (first < last && score[first] == u' ')
        ++first;
    while (last > first && score[last - 1] == u' ')
        --last;
    return std::u16string(score.substr(first, last - first)) + u" " + std::u16string(remark);
}
