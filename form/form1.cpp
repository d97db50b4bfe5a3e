// Form1's window handlers; its layout is in form1_layout.cpp.
#include "form/form1.h"
#include "roster/area.h"

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
