// The CSS font family of a face of the form: the face asked for, the names it
// goes by on Chinese Windows, then the Song-style CJK faces of other systems.
// The toolkit and the page's markup (form_html.cpp) name fonts alike.
#pragma once

#include <string>
#include <string_view>

namespace tk {

inline std::u16string fontFamily(std::u16string_view face)
{
    std::u16string family = u"\"" + std::u16string(face) + u"\", ";
    if (face == u"宋体")
        family += u"SimSun, NSimSun, ";
    else if (face == u"方正小标宋简体")
        family += u"FZXiaoBiaoSong-B05S, ";
    return family + u"\"Noto Serif CJK SC\", \"Source Han Serif SC\", \"Noto Serif CJK\", \"AR PL UMing CN\", serif";
}

}  // namespace tk
