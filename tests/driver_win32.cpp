// The test driver on Win32: mouse and key messages go through the program's
// own event loop to the control a user would hit; message boxes are caught
// by a CBT hook as they activate, read, and closed with their button.
#include "tests/driver.h"

#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <iostream>
#include <stdexcept>

namespace {

constexpr int FIRST_CONTROL_ID = 100;

std::u16string windowText(HWND hwnd)
{
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(hwnd, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

std::string utf8(const std::u16string& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                      static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
                        out.data(), n, nullptr, nullptr);
    return out;
}

// This process's form: tests running side by side share Wine's desktop.
HWND formWindow()
{
    for (HWND hwnd = FindWindowW(L"VarnholtForm", nullptr); hwnd;
         hwnd = FindWindowExW(nullptr, hwnd, L"VarnholtForm", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == GetCurrentProcessId())
            return hwnd;
    }
    throw std::runtime_error("Form1 is not open");
}

HWND control(std::string_view name)
{
    if (name == "Form1")
        return formWindow();
    const auto& controls = FORM1_LAYOUT.controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].name == name)
            return GetDlgItem(formWindow(), FIRST_CONTROL_ID + static_cast<int>(i));
    throw std::runtime_error("Form1 has no control " + std::string(name));
}

// What Microsoft Active Accessibility tells a screen reader of the window:
// its name, and whether it is an alert or dialog.
struct Accessible {
    std::u16string name;
    long role = 0;
};

Accessible accessible(HWND hwnd)
{
    Accessible result;
    IAccessible* object = nullptr;
    // __uuidof, not IID_IAccessible: mingw-w64's 64-bit oleacc import library
    // links that name to a code stub rather than the GUID.
    void** out = reinterpret_cast<void**>(&object);
    if (FAILED(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), out)))
        return result;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) {
        result.name.assign(reinterpret_cast<const char16_t*>(name), SysStringLen(name));
        SysFreeString(name);
    }
    VARIANT role;
    VariantInit(&role);
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4)
        result.role = role.lVal;
    object->Release();
    return result;
}

std::wstring windowClass(HWND hwnd)
{
    wchar_t name[32] = {};
    GetClassNameW(hwnd, name, 32);
    return name;
}

int dpi()
{
    HDC screen = GetDC(nullptr);
    const int value = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return value;
}

// A left (or right) click at the middle of the control, delivered to whatever
// a user would hit there: hidden and disabled windows are passed over.
void clickAt(HWND target, bool right = false)
{
    HWND form = formWindow();
    if (!IsWindowEnabled(form))  // while a box it owns is open, the form takes no input
        return;
    RECT r;
    GetWindowRect(target, &r);
    POINT point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(form, &point);
    HWND hit = ChildWindowFromPointEx(form, point, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
    if (!hit || hit == form)
        return;
    MapWindowPoints(form, hit, &point, 1);
    const LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(hit, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
    PostMessageW(hit, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
    tk::processEvents();
}

// While alive, records every message box that activates on this thread and
// presses its button. Each box also goes to stderr, where a test of a box
// shown by a dying process finds it.
class BoxCatcher {
public:
    explicit BoxCatcher(std::u16string_view typed = {}) : typed_(typed)
    {
        current = this;
        hook_ = SetWindowsHookExW(WH_CBT, onCbt, nullptr, GetCurrentThreadId());
    }
    ~BoxCatcher()
    {
        UnhookWindowsHookEx(hook_);
        current = nullptr;
    }

    Messages messages;
    bool plain = false;
    std::u16string button;
    std::u16string alert;

private:
    static LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
    {
        wchar_t cls[16] = {};
        HWND box = reinterpret_cast<HWND>(wParam);
        if (code == HCBT_ACTIVATE && current && GetClassNameW(box, cls, 16) && std::wstring_view(cls) == L"#32770")
            current->caught(box);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    void caught(HWND box)
    {
        const Message message{windowText(box), windowText(GetDlgItem(box, 0xFFFF))};
        messages.push_back(message);
        int buttons = 0, icons = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[16] = {};
            GetClassNameW(child, cls, 16);
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            if (!(style & WS_VISIBLE))
                continue;
            buttons += std::wstring_view(cls) == L"Button";
            icons += std::wstring_view(cls) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
                     SendMessageW(child, STM_GETICON, 0, 0) != 0;
        }
        plain = buttons == 1 && icons == 0;
        button = windowText(GetDlgItem(box, IDOK));
        // Windows reports a message box as a dialog, which screen readers read
        // out with its text at once; Wine reports any dialog's client area only
        // as a client, so the system dialog class stands for the role there.
        const long role = accessible(box).role;
        if (role == ROLE_SYSTEM_DIALOG || role == ROLE_SYSTEM_ALERT || role == ROLE_SYSTEM_CLIENT)
            alert = accessible(GetDlgItem(box, 0xFFFF)).name;
        std::cerr << "[message box] " << utf8(message.title) << ": " << utf8(message.prompt) << std::endl;
        // Input aimed at the form while the box is open: a click into Text2,
        // then keys, which go where the keyboard focus is.
        if (!typed_.empty()) {
            clickAt(control("Text2"));
            for (char16_t c : typed_)
                PostMessageW(GetFocus(), WM_CHAR, c, 1);
        }
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }

    static inline BoxCatcher* current = nullptr;
    HHOOK hook_;
    std::u16string typed_;
};

// While contextMenu waits for it: the items of the popup menu this thread
// opens, read by a timer that fires inside the menu's own loop.
std::vector<MenuItem>* openMenuItems = nullptr;

BOOL CALLBACK findPopupMenu(HWND hwnd, LPARAM found)
{
    if (windowClass(hwnd) != L"#32768" || !IsWindowVisible(hwnd))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}

void CALLBACK readOpenMenu(HWND, UINT, UINT_PTR, DWORD)
{
    HWND popup = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findPopupMenu, reinterpret_cast<LPARAM>(&popup));
    if (!popup || !openMenuItems)
        return;
    auto* menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 64;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) || (info.fType & MFT_SEPARATOR))
            continue;
        std::u16string label(reinterpret_cast<const char16_t*>(text));
        std::erase(label, u'&');
        openMenuItems->push_back({label, !(info.fState & MFS_DISABLED)});
    }
    openMenuItems = nullptr;
    EndMenu();
}

void key(UINT vk)
{
    PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1);
    PostMessageW(GetFocus(), WM_KEYUP, vk, 0xC0000001);
    tk::processEvents();
}

}  // namespace

void PrintTo(const Message& message, std::ostream* out)
{
    *out << "{" << utf8(message.title) << ": " << utf8(message.prompt) << "}";
}

// As the program starts: the form is made and loaded in one handler, so a
// damaged roster area is reported as a run-time error too.
Driver::Driver()
{
    {
        const BoxCatcher reported;
        tk::runHandler([this] {
            form_ = std::make_unique<Form1>();
            form_->Form_Load();
        });
    }
    form_->show();
    tk::processEvents();
}

Driver::~Driver()
{
    form_.reset();
    tk::processEvents();
}

void Driver::type(std::string_view box, std::u16string_view text)
{
    clickAt(control(box));
    key(VK_END);
    for (char16_t unit : text)
        PostMessageW(GetFocus(), WM_CHAR, unit, 1);
    tk::processEvents();
}

void Driver::paste(std::string_view box, std::u16string_view text)
{
    clickAt(control(box));
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    auto* data = static_cast<char16_t*>(GlobalLock(memory));
    std::copy(text.begin(), text.end(), data);
    data[text.size()] = u'\0';
    GlobalUnlock(memory);
    if (!OpenClipboard(formWindow()))
        throw std::runtime_error("the clipboard is busy");
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
    SendMessageW(GetFocus(), EM_SETSEL, 0, -1);  // select all
    SendMessageW(GetFocus(), WM_PASTE, 0, 0);
    tk::processEvents();
}

Messages Driver::click(std::string_view name, std::u16string_view whileBoxOpen)
{
    BoxCatcher catcher(whileBoxOpen);
    clickAt(control(name));
    lastPlain_ = catcher.plain;
    lastButton_ = catcher.button;
    lastAlert_ = catcher.alert;
    return catcher.messages;
}

Messages Driver::press(Key which)
{
    BoxCatcher catcher;
    key(which == Key::Tab ? VK_TAB : which == Key::Enter ? VK_RETURN : VK_ESCAPE);
    lastPlain_ = catcher.plain;
    lastButton_ = catcher.button;
    lastAlert_ = catcher.alert;
    return catcher.messages;
}

std::u16string Driver::text(std::string_view box) const
{
    return windowText(control(box));
}

bool Driver::visible(std::string_view name) const
{
    return IsWindowVisible(control(name)) != FALSE;
}

bool Driver::enabled(std::string_view name) const
{
    return IsWindowEnabled(control(name)) != FALSE;
}

double Driver::twipsPerPixel() const
{
    return 1440.0 / dpi();
}

Rect Driver::geometry(std::string_view name) const
{
    HWND hwnd = control(name);
    RECT r;
    if (name == "Form1") {
        GetClientRect(hwnd, &r);
    } else {
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, formWindow(), reinterpret_cast<POINT*>(&r), 2);
    }
    const double twips = twipsPerPixel();
    return {static_cast<int>(r.left * twips + 0.5), static_cast<int>(r.top * twips + 0.5),
            static_cast<int>((r.right - r.left) * twips + 0.5), static_cast<int>((r.bottom - r.top) * twips + 0.5)};
}

std::u16string Driver::caption(std::string_view name) const
{
    return windowText(control(name));
}

FontInfo Driver::font(std::string_view name) const
{
    HWND hwnd = control(name);
    auto* hfont = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    LOGFONTW logfont{};
    GetObjectW(hfont, sizeof logfont, &logfont);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, hfont);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    const auto u16 = [](const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); };
    return {u16(logfont.lfFaceName),
            u16(face),
            static_cast<float>(-logfont.lfHeight * 72.0 / dpi()),
            logfont.lfWeight >= FW_BOLD,
            logfont.lfItalic != 0,
            logfont.lfUnderline != 0,
            logfont.lfStrikeOut != 0,
            logfont.lfCharSet};
}

std::uint32_t Driver::textColor(std::string_view name) const
{
    // Ask the form for the colours it gives the label, as the label does before it paints.
    HWND hwnd = control(name);
    HDC dc = GetDC(hwnd);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SendMessageW(formWindow(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
    const COLORREF color = GetTextColor(dc);
    ReleaseDC(hwnd, dc);
    return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

bool Driver::hasIcon() const
{
    // The form's class icon is the program file's icon resource.
    return GetClassLongPtrW(formWindow(), GCLP_HICON) != 0;
}

bool Driver::textFits(std::string_view name) const
{
    // The ink of every character, drawn in the control's font from its top
    // (centred where the control centres it), lies inside its client area.
    HWND hwnd = control(name);
    const std::u16string text = windowText(hwnd);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<int>(text.size()), &size);
    int inkAbove = 0, inkBelow = 0;
    for (char16_t c : text) {
        GLYPHMETRICS glyph{};
        const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        if (GetGlyphOutlineW(dc, c, GGO_METRICS, &glyph, 0, nullptr, &identity) != GDI_ERROR) {
            inkAbove = std::max(inkAbove, static_cast<int>(glyph.gmptGlyphOrigin.y));
            inkBelow = std::max(inkBelow, static_cast<int>(glyph.gmBlackBoxY - glyph.gmptGlyphOrigin.y));
        }
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    RECT client;
    GetClientRect(hwnd, &client);
    const bool centred = (GetWindowLongW(hwnd, GWL_STYLE) & SS_CENTERIMAGE) && windowClass(hwnd) == L"Static";
    const int baseline = (centred ? (client.bottom - metrics.tmHeight) / 2 : 0) + metrics.tmAscent;
    return size.cx <= client.right && baseline - inkAbove >= -1 && baseline + inkBelow <= client.bottom + 1;
}

std::u16string Driver::accessibleName(std::string_view name) const
{
    return accessible(control(name)).name;
}

std::string Driver::focus() const
{
    HWND focused = GetFocus();
    const auto& controls = FORM1_LAYOUT.controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (focused && focused == GetDlgItem(formWindow(), FIRST_CONTROL_ID + static_cast<int>(i)))
            return std::string(controls[i].name);
    return {};
}

bool Driver::leftAligned(std::string_view label) const
{
    return (GetWindowLongW(control(label), GWL_STYLE) & SS_TYPEMASK) == SS_LEFT;
}

bool Driver::masksText(std::string_view box) const
{
    HWND hwnd = control(box);
    return (GetWindowLongW(hwnd, GWL_STYLE) & ES_PASSWORD) || SendMessageW(hwnd, EM_GETPASSWORDCHAR, 0, 0) != 0;
}

bool Driver::hasCloseControl() const
{
    HWND form = formWindow();
    const UINT state = GetMenuState(GetSystemMenu(form, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return (GetWindowLongW(form, GWL_STYLE) & WS_SYSMENU) && state != static_cast<UINT>(-1) &&
           !(state & (MF_GRAYED | MF_DISABLED));
}

std::vector<MenuItem> Driver::contextMenu(std::string_view box)
{
    std::vector<MenuItem> items;
    openMenuItems = &items;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, readOpenMenu);
    clickAt(control(box), true);
    KillTimer(nullptr, timer);
    openMenuItems = nullptr;
    return items;
}

int Driver::closeWindow()
{
    PostMessageW(formWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    return tk::Application::exec();
}
