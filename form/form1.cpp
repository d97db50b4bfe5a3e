// Form1's layout and its window handlers.
#include "form/form1.h"
#include "roster/area.h"

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

Form1::Form1()
    : tk::Form(FORM1_LAYOUT), ROSTER_ROWS(static_cast<int>(carriedRoster().records.size())),
      ROSTER_UPPER(ROSTER_ROWS + 11)
{
    Command1.onClick([this] { Command1_Click(); });
    Command2.onClick([this] { Command2_Click(); });
    Command3.onClick([this] { Command3_Click(); });
}

// Centres the window, puts the controls into the input state, loads the roster.
void Form1::Form_Load()
{
    // Single-precision twips, halved and handed on unrounded: a half twip
    // stays, and a window larger than the screen gets a negative position.
    const float formWidth = width();
    setLeft((tk::Screen::width() - formWidth) / 2);
    const float formHeight = height();
    setTop((tk::Screen::height() - formHeight) / 2);

    Command2.setVisible(false);
    Command3.setVisible(false);
    Label6.setVisible(false);
    Label7.setVisible(false);
    Text3.setVisible(false);
    Text4.setVisible(false);
    Text3.setEnabled(false);
    Text4.setEnabled(false);

    xing111();
    zhun111();
    shen111();
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        chengji(row) = carriedRoster().records[row - 1].chengji;
    for (int row = 1; row <= ROSTER_ROWS; ++row)
        beizhu(row) = carriedRoster().records[row - 1].beizhu;
}

// 继续查询: back to the input state, all four boxes empty.
void Form1::Command2_Click()
{
    Command1.setVisible(true);
    Command2.setVisible(false);
    Command3.setVisible(false);
    Label6.setVisible(false);
    Label7.setVisible(false);
    Text3.setVisible(false);
    Text4.setVisible(false);
    Text1.setText(u"");
    Text2.setText(u"");
    Text3.setText(u"");
    Text4.setText(u"");
}

// 退  出
void Form1::Command3_Click()
{
    tk::End();
}
