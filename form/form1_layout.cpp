// Form1's layout: the fourteen controls and the window, as every backend
// draws them. Data only, so that a build tool (form/web/form_html.cpp) can
// print the page's markup from the same table.
#include "form/form1.h"

namespace {

using tk::Font;
using tk::Kind;

constexpr std::u16string_view SONG = u"宋体";
constexpr std::u16string_view XIAOBIAOSONG = u"方正小标宋简体";
constexpr Font TEXT_FONT{SONG, 12, false};
constexpr Font BUTTON_FONT{SONG, 14.25f, false};
constexpr std::uint32_t RED = 0xFF0000;

// The fourteen controls, from the top of the window down. Twips; the tab
// index is the control's place in the tab order.
constexpr tk::ControlLayout CONTROLS[] = {
    // name       kind                caption              left  top   width height tab font
    {"Label3", Kind::Label, u"Ostrevin", 600, 360, 7695, 615, 4, Font{XIAOBIAOSONG, 15, true}},
    {"Label5", Kind::Label, u"笔试成绩查询", 3240, 840, 2175, 375, 5, Font{XIAOBIAOSONG, 15.75f, false}, RED},
    {"Label1", Kind::Label, u"准考证号：", 1680, 1440, 1335, 375, 1, TEXT_FONT},
    {"Text1", Kind::TextBox, u"", 2880, 1440, 4335, 375, 0, TEXT_FONT},
    {"Label2", Kind::Label, u"身份证号：", 1680, 1920, 1335, 375, 2, TEXT_FONT},
    {"Text2", Kind::TextBox, u"", 2880, 1920, 4335, 375, 3, TEXT_FONT},
    {"Label6", Kind::Label, u"姓    名：", 1680, 2400, 1335, 375, 7, TEXT_FONT},
    {"Text3", Kind::TextBox, u"", 2880, 2400, 4335, 375, 9, TEXT_FONT},
    {"Command1", Kind::CommandButton, u"确  定", 3480, 2760, 1695, 495, 6, BUTTON_FONT},
    {"Label7", Kind::Label, u"成    绩：", 1680, 2880, 1335, 375, 8, TEXT_FONT},
    {"Text4", Kind::TextBox, u"", 2880, 2880, 4335, 375, 10, TEXT_FONT},
    {"Command2", Kind::CommandButton, u"继续查询", 2280, 3480, 1695, 495, 12, BUTTON_FONT},
    {"Command3", Kind::CommandButton, u"退  出", 4320, 3480, 1695, 495, 13, BUTTON_FONT},
    {"Label8", Kind::Label, u"Brenmoor制", 6480, 3840, 2415, 375, 11, std::nullopt},
};

}  // namespace

const tk::FormLayout FORM1_LAYOUT{
    "Form1", u"Varnholt", 8625, 4260, Font{SONG, 15.75f, true}, CONTROLS,
};
