// The office window's Win32 toolkit on a small window of its own: what screen
// readers read of each control, the report's text as shown, the radio group,
// the progress bar's range, work posted from another thread, a dropped file,
// and the questions' buttons. Run under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <shlobj.h>

#include <array>
#include <thread>

#include "office/window/toolkit.h"

namespace {

using otk::Kind;

constexpr std::array<otk::ControlLayout, 7> CONTROLS{{
    {"choose", Kind::Button, u"选择名册…", 10, 10, 100, 28},
    {"report", Kind::Report, u"报告", 10, 44, 380, 120},
    {"program", Kind::Radio, u"Windows 程序", 10, 170, 120, 22},
    {"page", Kind::Radio, u"网页", 140, 170, 80, 22},
    {"protect", Kind::Check, u"保护", 230, 170, 80, 22},
    {"sheet", Kind::Choice, u"工作表", 10, 200, 200, 26},
    {"progress", Kind::Progress, u"进度", 10, 236, 380, 20},
}};
constexpr otk::WindowLayout LAYOUT{u"制作查询程序", 400, 266, CONTROLS};

HWND windowOf(const otk::Window& window)
{
    for (HWND hwnd = FindWindowW(L"VarnholtOffice", nullptr); hwnd;
         hwnd = FindWindowExW(nullptr, hwnd, L"VarnholtOffice", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == GetCurrentProcessId() && IsWindow(hwnd))
            return hwnd;
    }
    (void)window;
    return nullptr;
}

HWND child(const otk::Window& window, std::string_view name)
{
    for (std::size_t i = 0; i < CONTROLS.size(); ++i)
        if (CONTROLS[i].name == name)
            return GetDlgItem(windowOf(window), 100 + static_cast<int>(i));
    return nullptr;
}

std::u16string windowText(HWND hwnd)
{
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(hwnd, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

// What Microsoft Active Accessibility gives a screen reader as the name.
std::u16string accessibleName(HWND hwnd)
{
    IAccessible* object = nullptr;
    std::u16string result;
    if (FAILED(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))))
        return result;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) {
        result.assign(reinterpret_cast<const char16_t*>(name), SysStringLen(name));
        SysFreeString(name);
    }
    object->Release();
    return result;
}

// Runs what is queued, as the event loop would, leaving any quit message.
void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
}

// The next message box shown on this thread: once it is up, its buttons'
// names and the button with the focus are read, then the button given is pressed.
struct BoxAnswer {
    static inline std::vector<std::u16string> buttons;
    static inline int focused = 0;  // the button Enter presses
    static inline int press = IDOK;
    static inline HWND box = nullptr;
    static LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
    {
        HWND activated = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        if (code == HCBT_ACTIVATE && GetClassNameW(activated, cls, 16) && std::wstring_view(cls) == L"#32770") {
            box = activated;
            SetTimer(nullptr, 0, 10, answer);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static void CALLBACK answer(HWND, UINT, UINT_PTR timer, DWORD)
    {
        KillTimer(nullptr, timer);
        buttons.clear();
        focused = GetDlgCtrlID(GetFocus());
        for (int id : {IDOK, IDYES, IDNO})
            if (HWND button = GetDlgItem(box, id))
                buttons.push_back(accessibleName(button));
        PostMessageW(GetDlgItem(box, press), BM_CLICK, 0, 0);
    }
};

TEST(OfficeToolkit, controlsCarryTheirAccessibleNames)
{
    otk::Window window(LAYOUT);
    window.show();
    pump();
    EXPECT_EQ(accessibleName(child(window, "choose")), u"选择名册…");
    EXPECT_EQ(accessibleName(child(window, "report")), u"报告");
    // A combo box's name is the label before it, as Windows' screen readers
    // find it (Wine's accessibility names no combo box).
    EXPECT_EQ(windowText(GetWindow(child(window, "sheet"), GW_HWNDPREV)), u"工作表");
    EXPECT_EQ(accessibleName(child(window, "progress")), u"进度");
    EXPECT_EQ(accessibleName(child(window, "program")), u"Windows 程序");
    // Laid out at the screen's dpi (run at 96 and 192): the client area and
    // each control in proportion to the layout's 96-dpi pixels.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    RECT client, report;
    GetClientRect(windowOf(window), &client);
    EXPECT_EQ(client.right, MulDiv(LAYOUT.width, dpi, 96));
    EXPECT_EQ(client.bottom, MulDiv(LAYOUT.height, dpi, 96));
    GetWindowRect(child(window, "report"), &report);
    EXPECT_EQ(report.right - report.left, MulDiv(380, dpi, 96));
    EXPECT_THROW(window.setText("nothing", u"x"), std::logic_error);
    EXPECT_THROW(window.setChecked("choose", true), std::logic_error);
}

TEST(OfficeToolkit, reportShowsEveryLineAndLongTextWhole)
{
    otk::Window window(LAYOUT);
    // Lines as the packer writes them, a NUL from a hostile cell, and more
    // than an EDIT's default limit of 32767.
    const std::u16string report = u"第 14 行：身份证号不对\n第 15 行\r\n" + std::u16string(33000, u'名') +
                                  std::u16string(1, u'\0') + u"尾";
    window.setText("report", report);
    EXPECT_EQ(windowText(child(window, "report")).substr(0, 24), u"第 14 行：身份证号不对\r\n第 15 行\r\n名");
    const std::u16string shown = window.text("report");
    EXPECT_EQ(shown.size(), report.size() - 1);  // the CR of CR LF only
    EXPECT_EQ(shown.substr(shown.size() - 2), u"\uFFFD尾");
}

TEST(OfficeToolkit, radioButtonsAreOneGroupAndReportAfterTheyChanged)
{
    otk::Window window(LAYOUT);
    window.show();
    window.setChecked("program", true);
    bool pageWhenClicked = false;
    window.onEvent("page", [&] { pageWhenClicked = window.checked("page") && !window.checked("program"); });
    SendMessageW(child(window, "page"), BM_CLICK, 0, 0);
    pump();
    EXPECT_TRUE(pageWhenClicked);
    window.setChecked("program", true);
    EXPECT_FALSE(window.checked("page"));
    EXPECT_FALSE(window.checked("protect"));

    window.setChoices("sheet", {u"成绩", u"名单"}, 1);
    EXPECT_EQ(window.chosen("sheet"), 1);
    window.setChoices("sheet", {}, 0);
    EXPECT_EQ(window.chosen("sheet"), -1);
}

TEST(OfficeToolkit, progressScalesCountsBeyondThirtyTwoBits)
{
    otk::Window window(LAYOUT);
    HWND bar = child(window, "progress");
    window.setProgress("progress", 3'000'000'000'000LL, 6'000'000'000'000LL);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 5000);
    window.setProgress("progress", 7, 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    window.setProgress("progress", 120, 339);  // counted in records
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 120);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 339);
}

TEST(OfficeToolkit, postedWorkRunsOnTheInterfaceThreadAndNotAfterClose)
{
    otk::Window window(LAYOUT);
    const DWORD interfaceThread = GetCurrentThreadId();
    int ran = 0, onInterfaceThread = 0;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            window.post([&] { ++ran, onInterfaceThread += GetCurrentThreadId() == interfaceThread; });
    });
    worker.join();
    pump();
    EXPECT_EQ(ran, 100);
    EXPECT_EQ(onInterfaceThread, 100);

    window.post([&] { ++ran; });
    window.close();
    window.post([&] { ++ran; });
    pump();
    EXPECT_EQ(ran, 100);
}

TEST(OfficeToolkit, closingAsksTheHandlerAndADroppedFileArrivesWhole)
{
    otk::Window window(LAYOUT);
    window.show();
    std::filesystem::path dropped;
    window.onDrop([&](const std::filesystem::path& path) { dropped = path; });
    // A drop as the shell sends it: a DROPFILES header, then wide names.
    const std::wstring names = L"C:\\考试\\名册 2026.xlsx\0C:\\other.csv\0";
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(drop + 1));
    GlobalUnlock(memory);
    PostMessageW(windowOf(window), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    pump();
    EXPECT_EQ(dropped, std::filesystem::path(L"C:\\考试\\名册 2026.xlsx"));

    int asked = 0;
    window.onClose([&] { return ++asked > 1; });
    PostMessageW(windowOf(window), WM_CLOSE, 0, 0);
    pump();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(IsWindow(child(window, "report")));
    PostMessageW(windowOf(window), WM_CLOSE, 0, 0);
    EXPECT_EQ(otk::Application::exec(), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(windowOf(window), nullptr);
}

TEST(OfficeToolkit, questionsAnswerNoUnlessYesIsChosen)
{
    otk::Window window(LAYOUT);
    window.show();
    HHOOK hook = SetWindowsHookExW(WH_CBT, BoxAnswer::onCbt, nullptr, GetCurrentThreadId());
    BoxAnswer::press = IDNO;
    EXPECT_FALSE(window.ask(u"关闭保护？", u"保护"));
    EXPECT_EQ(BoxAnswer::buttons, (std::vector<std::u16string>{u"是(Y)", u"否(N)"}));
    EXPECT_EQ(BoxAnswer::focused, IDNO);
    BoxAnswer::press = IDYES;
    EXPECT_TRUE(window.ask(u"关闭保护？", u"保护"));
    BoxAnswer::press = IDOK;
    window.tell(u"写好了。", u"完成");
    EXPECT_EQ(BoxAnswer::buttons, std::vector<std::u16string>{u"确定"});
    UnhookWindowsHookEx(hook);
}

}  // namespace

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    otk::Application application(argc, argv);
    return RUN_ALL_TESTS();
}
