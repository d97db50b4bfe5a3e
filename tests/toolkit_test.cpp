// The toolkit operations that are the same on every backend.
#include <gtest/gtest.h>

#include "form/form1.h"

TEST(Trim, removesOnlySpacesAtBothEnds)
{
    EXPECT_EQ(tk::Trim(u"   68.9    "), u"68.9");
    EXPECT_EQ(tk::Trim(u" 5 8 "), u"5 8");  // inner spaces stay
    EXPECT_EQ(tk::Trim(u"    "), u"");
    EXPECT_EQ(tk::Trim(u""), u"");
    // Tabs, no-break and ideographic spaces are not spaces here.
    EXPECT_EQ(tk::Trim(u"\t58\u3000"), u"\t58\u3000");
    EXPECT_EQ(tk::Trim(u" \u00A058 "), u"\u00A058");
}

TEST(AccessibleName, isTheRowsLabelWithoutColonAndSpacesOrTheCaption)
{
    const auto named = [](std::string_view name) {
        for (const tk::ControlLayout& control : FORM1_LAYOUT.controls)
            if (control.name == name)
                return tk::accessibleName(FORM1_LAYOUT, control);
        return std::u16string(u"(no such control)");
    };
    EXPECT_EQ(named("Text3"), u"姓名");
    EXPECT_EQ(named("Text4"), u"成绩");
    EXPECT_EQ(named("Command3"), u"退  出");
}
