// Form1 as a window: layout, start-up state, tab order and focus, 继续查询,
// the centring arithmetic, and the ways the program ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/driver.h"

namespace {

const Messages NONE;

struct Expected {
    const char* name;
    std::u16string_view caption;
    Rect twips;
    std::u16string_view face;
    float points;
    bool bold;
};

// What the window must show, as the examination office asked for it.
const Expected LAYOUT[] = {
    {"Label3", u"Ostrevin", {600, 360, 7695, 615}, u"方正小标宋简体", 15, true},
    {"Label5", u"笔试成绩查询", {3240, 840, 2175, 375}, u"方正小标宋简体", 15.75f, false},
    {"Label1", u"准考证号：", {1680, 1440, 1335, 375}, u"宋体", 12, false},
    {"Text1", u"", {2880, 1440, 4335, 375}, u"宋体", 12, false},
    {"Label2", u"身份证号：", {1680, 1920, 1335, 375}, u"宋体", 12, false},
    {"Text2", u"", {2880, 1920, 4335, 375}, u"宋体", 12, false},
    {"Label6", u"姓    名：", {1680, 2400, 1335, 375}, u"宋体", 12, false},
    {"Text3", u"", {2880, 2400, 4335, 375}, u"宋体", 12, false},
    {"Command1", u"确  定", {3480, 2760, 1695, 495}, u"宋体", 14.25f, false},
    {"Label7", u"成    绩：", {1680, 2880, 1335, 375}, u"宋体", 12, false},
    {"Text4", u"", {2880, 2880, 4335, 375}, u"宋体", 12, false},
    {"Command2", u"继续查询", {2280, 3480, 1695, 495}, u"宋体", 14.25f, false},
    {"Command3", u"退  出", {4320, 3480, 1695, 495}, u"宋体", 14.25f, false},
    {"Label8", u"Brenmoor制", {6480, 3840, 2415, 375}, u"宋体", 15.75f, true},
};

const char* const ALL[] = {"Label3", "Label5", "Label1", "Text1", "Label2", "Text2", "Label6",
                           "Text3", "Command1", "Label7", "Text4", "Command2", "Command3", "Label8"};
const std::vector<std::string> INPUT_STATE = {"Label3", "Label5", "Label1", "Text1",
                                              "Label2", "Text2", "Command1", "Label8"};

std::vector<std::string> visibleControls(const Driver& driver)
{
    std::vector<std::string> shown;
    for (const char* name : ALL)
        if (driver.visible(name))
            shown.push_back(name);
    return shown;
}

// The focus after each Tab press, starting from the current one.
std::vector<std::string> tabCycle(Driver& driver, int presses)
{
    std::vector<std::string> order{driver.focus()};
    for (int i = 0; i < presses; ++i) {
        driver.press(Key::Tab);
        order.push_back(driver.focus());
    }
    return order;
}

void findCandidate(Driver& driver, int row)
{
    driver.type("Text1", ROSTER_DATA[row - 1].zhun);
    driver.type("Text2", ROSTER_DATA[row - 1].shen);
    ASSERT_EQ(driver.click("Command1"), NONE);
}

}  // namespace

// Equal to within the half pixel that drawing on whole pixels may take.
void expectNear(const Rect& drawn, const Rect& asked, double pixel)
{
    EXPECT_NEAR(drawn.left, asked.left, pixel);
    EXPECT_NEAR(drawn.top, asked.top, pixel);
    EXPECT_NEAR(drawn.width, asked.width, pixel);
    EXPECT_NEAR(drawn.height, asked.height, pixel);
}

TEST(Form, laysOutItsFourteenControlsAsAsked)
{
    Driver driver;
    const double pixel = driver.twipsPerPixel();  // 15 twips at 96 dpi, where every size is whole pixels
    EXPECT_EQ(driver.caption("Form1"), u"Varnholt");
    EXPECT_NEAR(driver.geometry("Form1").width, 8625, pixel);  // the client area
    EXPECT_NEAR(driver.geometry("Form1").height, 4260, pixel);
    for (const Expected& control : LAYOUT) {
        SCOPED_TRACE(control.name);
        if (pixel == 15) {
            EXPECT_EQ(driver.geometry(control.name), control.twips);
        }
        expectNear(driver.geometry(control.name), control.twips, pixel / 2 + 1);
        const FontInfo font = driver.font(control.name);
        EXPECT_EQ(font.face, control.face);
        EXPECT_NEAR(font.points, control.points, pixel / 20 / 2 + 0.01);  // 20 twips a point
        EXPECT_EQ(font.bold, control.bold);
        EXPECT_FALSE(font.italic || font.underline || font.strikeOut);
#ifdef _WIN32
        EXPECT_EQ(font.charset, 134);  // GB2312
#endif
        // A Song-style CJK face draws it where the Windows face is missing.
        EXPECT_TRUE(font.drawnWith == font.face || font.drawnWith.find(u"Serif CJK") != std::u16string::npos)
            << std::string(font.drawnWith.begin(), font.drawnWith.end());
        if (std::string_view(control.name).starts_with("Text")) {
            EXPECT_EQ(driver.text(control.name), control.caption);
            EXPECT_FALSE(driver.masksText(control.name));
        } else {
            EXPECT_EQ(driver.caption(control.name), control.caption);
        }
        if (std::string_view(control.name).starts_with("Label")) {
            EXPECT_TRUE(driver.leftAligned(control.name));
        }
    }
    EXPECT_TRUE(driver.hasIcon());
    EXPECT_EQ(driver.textColor("Label5"), 0xFF0000u);
    EXPECT_NE(driver.textColor("Label1"), 0xFF0000u);
}

TEST(Form, drawsEveryCaptionUnclipped)
{
    Driver driver;
    for (const Expected& control : LAYOUT)
        if (!std::string_view(control.name).starts_with("Text")) {
            EXPECT_TRUE(driver.textFits(control.name)) << control.name;
        }
    driver.type("Text2", u"51110219860914355X");  // a whole identity number shows in its box
    EXPECT_TRUE(driver.textFits("Text2"));
}

static void PrintTo(const MenuItem& item, std::ostream* out)
{
    *out << testing::PrintToString(item.text) << (item.enabled ? "" : " (disabled)");
}

// The edit menu of an input box speaks Chinese; a disabled box offers none.
TEST(Form, offersTheEditMenuInChinese)
{
    Driver driver;
    findCandidate(driver, 1);
    EXPECT_EQ(driver.contextMenu("Text3"), std::vector<MenuItem>{});  // shown, but disabled
    driver.paste("Text1", u"107");  // text on the clipboard: 粘贴 is offered
    driver.type("Text1", u"9");     // something to undo, nothing selected
#ifdef _WIN32
    const std::vector<MenuItem> menu = {{u"撤消(U)", true}, {u"剪切(T)", false}, {u"复制(C)", false},
                                        {u"粘贴(P)", true}, {u"删除(D)", false}, {u"全选(A)", true}};
#else
    const std::vector<MenuItem> menu = {{u"撤消(U)", true},  {u"重做(R)", false}, {u"剪切(T)", false},
                                        {u"复制(C)", false}, {u"粘贴(P)", true},  {u"删除", false},
                                        {u"全选", true}};
#endif
    EXPECT_EQ(driver.contextMenu("Text1"), menu);
}

// What a screen reader speaks of a name: no spaces, no colon.
std::u16string spoken(std::u16string name)
{
    std::erase(name, u' ');
    std::erase(name, u'：');
    return name;
}

TEST(Form, screenReadersHearEachBoxByItsLabelAndEachButtonByItsCaption)
{
    Driver driver;
    EXPECT_EQ(spoken(driver.accessibleName("Text1")), u"准考证号");
    EXPECT_EQ(spoken(driver.accessibleName("Text2")), u"身份证号");
    EXPECT_EQ(spoken(driver.accessibleName("Text3")), u"姓名");
    EXPECT_EQ(spoken(driver.accessibleName("Text4")), u"成绩");
    EXPECT_EQ(driver.accessibleName("Command1"), u"确  定");
    EXPECT_EQ(driver.accessibleName("Command2"), u"继续查询");
    EXPECT_EQ(driver.accessibleName("Command3"), u"退  出");
    driver.click("Command1");
    EXPECT_EQ(driver.lastAlert(), u"请输入准考证号");  // the warning is announced as an alert
}

TEST(Form, startsInTheInputStateWithTheFocusInText1)
{
    Driver driver;
    EXPECT_EQ(visibleControls(driver), INPUT_STATE);
    for (auto box : {"Text1", "Text2", "Text3", "Text4"})
        EXPECT_EQ(driver.text(box), u"") << box;
    EXPECT_TRUE(driver.enabled("Text1"));
    EXPECT_TRUE(driver.enabled("Text2"));
    EXPECT_FALSE(driver.enabled("Text3"));
    EXPECT_FALSE(driver.enabled("Text4"));
    EXPECT_EQ(driver.focus(), "Text1");
    EXPECT_TRUE(driver.hasCloseControl());  // in this state the only way to end the program
}

TEST(Form, tabPassesOverHiddenAndDisabledControlsInBothStates)
{
    Driver driver;
    EXPECT_EQ(tabCycle(driver, 3), (std::vector<std::string>{"Text1", "Text2", "Command1", "Text1"}));
    findCandidate(driver, 1);
    driver.type("Text1", u"");  // a click puts the focus back into Text1
    EXPECT_EQ(tabCycle(driver, 4), (std::vector<std::string>{"Text1", "Text2", "Command2", "Command3", "Text1"}));
}

TEST(Form, enterAndEscapeStartNothing)
{
    Driver driver;
    driver.type("Text1", ROSTER_DATA[0].zhun);
    driver.type("Text2", ROSTER_DATA[0].shen);
    EXPECT_EQ(driver.press(Key::Enter), NONE);
    EXPECT_EQ(driver.press(Key::Escape), NONE);
    driver.press(Key::Tab);  // onto 确  定
    ASSERT_EQ(driver.focus(), "Command1");
    EXPECT_EQ(driver.press(Key::Enter), NONE);
    EXPECT_EQ(driver.press(Key::Escape), NONE);
    EXPECT_EQ(visibleControls(driver), INPUT_STATE);
}

TEST(Form, focusLandsInText1WhenCommand1AndCommand2HideThemselves)
{
    Driver driver;
    findCandidate(driver, 2);
    EXPECT_EQ(driver.focus(), "Text1");
    driver.click("Command2");
    EXPECT_EQ(driver.focus(), "Text1");
}

TEST(Form, command2ReturnsToAnEmptyInputState)
{
    Driver driver;
    findCandidate(driver, 4);
    EXPECT_EQ(driver.click("Command2"), NONE);
    EXPECT_EQ(visibleControls(driver), INPUT_STATE);
    for (auto box : {"Text1", "Text2", "Text3", "Text4"})
        EXPECT_EQ(driver.text(box), u"") << box;
    EXPECT_FALSE(driver.enabled("Text3"));
    EXPECT_FALSE(driver.enabled("Text4"));
    // A second query needs both numbers again.
    EXPECT_EQ(driver.click("Command1"), (Messages{{u"警告", u"请输入准考证号"}}));
}

// The text read is the toolkit's own copy, which setting the box wipes.
TEST(Form, aBoxSetToTheTextItHoldsKeepsIt)
{
    Driver driver;
    driver.type("Text1", ROSTER_DATA[0].zhun);
    tk::TextBox& box = driver.form().Text1;
    box.setText(box.text());
    EXPECT_EQ(driver.text("Text1"), ROSTER_DATA[0].zhun);
    EXPECT_EQ(box.text(), ROSTER_DATA[0].zhun);
}

TEST(Form, centresOnTheScreenInUnroundedSingleTwips)
{
    Form1 form;  // not yet shown: its size is what Form_Load reads
    const float screenWidth = tk::Screen::width(), screenHeight = tk::Screen::height();
    const float width = form.width(), height = form.height();
    form.Form_Load();
    struct Case {
        float screenWidth, width, left;
    };
    const Case cases[] = {
        {28800, 8715, 10042.5f},  // 1920 pixels at 96 dpi; Win32 knows its 3-pixel frame
        {12000, 8625, 1687.5f},   // 800 pixels
        {21600, 8625, 6487.5f},   // 1440 device-independent pixels
        {14400, 8670, 2865.0f},   // 1920 pixels at 192 dpi, a 3-pixel frame
        {6000, 8625, -1312.5f},   // 400 pixels: larger than the screen, partly off it
    };
    const auto match = std::find_if(std::begin(cases), std::end(cases),
                                    [&](const Case& c) { return c.screenWidth == screenWidth && c.width == width; });
    if (match == std::end(cases))
        GTEST_SKIP() << "a screen of " << screenWidth << " twips and a window of " << width;
    EXPECT_EQ(form.left(), match->left);  // the half twip is handed on
    if (height == 4260 && screenHeight == 3000) {
        EXPECT_EQ(form.top(), -630.0f);
    }
    if (height == 4260 && screenHeight == 12000) {
        EXPECT_EQ(form.top(), 3870.0f);
    }
}

using FormDeathTest = testing::Test;

TEST_F(FormDeathTest, command3EndsTheProgramWithStatusZero)
{
    EXPECT_EXIT(
        {
            Driver driver;
            findCandidate(driver, 1);
            driver.click("Command3");
            std::abort();  // not reached: End returns to nobody
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(FormDeathTest, theCloseControlEndsTheProgramWithStatusZero)
{
    EXPECT_EXIT(
        {
            Driver driver;
            std::_Exit(driver.closeWindow() == 0 ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(FormDeathTest, aRunTimeErrorInAHandlerIsReportedAndEndsTheProgram)
{
    EXPECT_EXIT(
        {
            Driver driver;
            Form1& form = driver.form();
            form.Command1.onClick([&form] { form.Text3.setText(form.zhun(ROSTER_UPPER + 1)); });
            driver.click("Command1");
        },
        testing::ExitedWithCode(1), "Peldrun: 实时错误 '9':\n\n下标越界");
    EXPECT_EXIT(
        {
            Driver driver;
            driver.form().Command1.onClick([] { throw std::bad_alloc(); });
            driver.click("Command1");
        },
        testing::ExitedWithCode(1), "实时错误 '7':\n\n内存溢出");
}

#ifdef _WIN32
#include <windows.h>

// The toolkit's own Chinese texts, under an English Windows: the tests run so.
TEST(WindowsToolkit, speaksChineseWhateverTheSystemLanguage)
{
    Driver driver;
    driver.click("Command1");
    EXPECT_EQ(driver.lastButton(), u"确定");

    driver.paste("Text1", u"10731020101");  // the clipboard holds text; the paste can be undone
    const std::vector<MenuItem> nothingSelected{{u"撤消(U)", true}, {u"剪切(T)", false}, {u"复制(C)", false},
                                                {u"粘贴(P)", true}, {u"删除(D)", false}, {u"全选(A)", true}};
    EXPECT_EQ(driver.contextMenu("Text1"), nothingSelected);
    driver.type("Text2", u"1");
    driver.press(Key::Tab);
    driver.press(Key::Tab);  // Tab into Text1 selects all of it
    ASSERT_EQ(driver.focus(), "Text1");
    const std::vector<MenuItem> allSelected{{u"撤消(U)", true}, {u"剪切(T)", true}, {u"复制(C)", true},
                                            {u"粘贴(P)", true}, {u"删除(D)", true}, {u"全选(A)", false}};
    EXPECT_EQ(driver.contextMenu("Text1"), allSelected);
    EXPECT_EQ(driver.contextMenu("Text3"), std::vector<MenuItem>{});  // disabled
    EXPECT_EQ(driver.contextMenu("Text4"), std::vector<MenuItem>{});
}

TEST(WindowsToolkit, makesEveryFontPlainGb2312)
{
    Driver driver;
    for (const Expected& control : LAYOUT) {
        SCOPED_TRACE(control.name);
        const FontInfo font = driver.font(control.name);
        EXPECT_EQ(font.charset, GB2312_CHARSET);
        EXPECT_FALSE(font.italic || font.underline || font.strikeOut);
    }
}

TEST(WindowsToolkit, widthBeforeShowIsTheOuterWidth)
{
    Form1 form;  // as Form_Load finds it, not yet shown
    HWND window = FindWindowW(L"VarnholtForm", nullptr);
    ASSERT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    ASSERT_GT(outer.right - outer.left, client.right);  // Windows draws a frame
    HDC screen = GetDC(nullptr);
    const double twipsPerPixel = 1440.0 / GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_NEAR(form.width(), 8625 + (outer.right - outer.left - client.right) * twipsPerPixel, twipsPerPixel / 2);
}
#endif
