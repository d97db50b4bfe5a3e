// The toolkit on the Win32 API: native EDIT, STATIC and BUTTON controls in a
// fixed-frame window, MessageBoxW, and a message loop with IsDialogMessageW
// for Tab. Unicode throughout. For a program of locale 2052 it speaks
// Simplified Chinese on any Windows: the message box's button and the text
// boxes' context menu carry the toolkit's own texts.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "form/native.h"

namespace tk {

namespace {

struct Win32Control : NativeControl {
    Win32Control(const ControlLayout& layout, HWND hwnd)
        : NativeControl(layout.name, layout.kind), hwnd(hwnd), foreColor(layout.foreColor) {}
    HWND hwnd;
    std::uint32_t foreColor;
    bool stale = true;  // a text box's text changed since the program read it
};

struct Win32Form : NativeForm {
    HWND hwnd = nullptr;
    std::vector<HFONT> fonts;
    HWND lastFocus = nullptr;  // restored when the window is activated again
};

Win32Control& win32(NativeControl& control)
{
    return static_cast<Win32Control&>(control);
}

Win32Form& win32(NativeForm& form)
{
    return static_cast<Win32Form&>(form);
}

constexpr wchar_t FORM_CLASS[] = L"VarnholtForm";
constexpr DWORD FORM_STYLE = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int FIRST_CONTROL_ID = 100;  // clear of IDOK and IDCANCEL, which Enter and Esc send

const ProjectRecord* project = nullptr;
HWND startupWindow = nullptr;  // owner of message boxes

std::wstring toWide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string windowText(HWND hwnd)
{
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, reinterpret_cast<wchar_t*>(text.data()),
                                                        static_cast<int>(text.size()))));
    return text;
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int pixels(double twips)
{
    return static_cast<int>(std::lround(twips * screenDpi() / 1440.0));
}

float twips(int pixels)
{
    return static_cast<float>(pixels * 1440.0 / screenDpi());
}

HFONT createFont(const Font& font)
{
    HFONT hfont = CreateFontW(-static_cast<int>(std::lround(font.points * screenDpi() / 72.0)), 0, 0, 0,
                              font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              toWide(font.face).c_str());
    if (!hfont)
        throw controlError(u"CreateFontW");
    return hfont;
}

bool speaksChinese()
{
    return project && project->locale == 2052;
}

// The context menu of a text box, with the system's commands and enabled
// states. Each item's id is the message that performs it.
void showContextMenu(HWND box, LPARAM at)
{
    if (GetFocus() != box)
        SetFocus(box);
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (point.x == -1 && point.y == -1) {  // the menu key or Shift+F10: the middle of the box
        RECT r;
        GetClientRect(box, &r);
        point = {r.right / 2, r.bottom / 2};
        ClientToScreen(box, &point);
    }
    DWORD start = 0, end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const DWORD length = static_cast<DWORD>(GetWindowTextLengthW(box));
    const bool selection = start != end;
    const bool editable = !(GetWindowLongW(box, GWL_STYLE) & ES_READONLY);

    HMENU menu = CreatePopupMenu();
    const auto item = [menu](UINT message, const wchar_t* text, bool enabled) {
        AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), message, text);
    };
    item(WM_UNDO, L"撤消(&U)", SendMessageW(box, EM_CANUNDO, 0, 0));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    item(WM_CUT, L"剪切(&T)", selection && editable);
    item(WM_COPY, L"复制(&C)", selection);
    item(WM_PASTE, L"粘贴(&P)", editable && IsClipboardFormatAvailable(CF_UNICODETEXT));
    item(WM_CLEAR, L"删除(&D)", selection && editable);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    item(EM_SETSEL, L"全选(&A)", length > 0 && (start > 0 || end < length));
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, box, nullptr));
    DestroyMenu(menu);
    if (chosen == EM_SETSEL)
        SendMessageW(box, EM_SETSEL, 0, -1);
    else if (chosen)
        SendMessageW(box, chosen, 0, 0);
}

LRESULT CALLBACK textBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_CONTEXTMENU && speaksChinese()) {
        showContextMenu(hwnd, lParam);
        return 0;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, textBoxProc, 0);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// MessageBoxW labels its button in the system's language: a hook on this
// thread renames it while the box activates, before it is drawn.
LRESULT CALLBACK renameBoxButton(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE)
        SetDlgItemTextW(reinterpret_cast<HWND>(wParam), IDOK, L"确定");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int messageBox(std::u16string_view prompt, std::u16string_view title, UINT type)
{
    HHOOK hook = speaksChinese() ? SetWindowsHookExW(WH_CBT, renameBoxButton, nullptr, GetCurrentThreadId()) : nullptr;
    const int result = MessageBoxW(startupWindow, toWide(prompt).c_str(), toWide(title).c_str(), type);
    if (hook)
        UnhookWindowsHookEx(hook);
    return result;
}

Win32Form* formOf(HWND hwnd)
{
    return reinterpret_cast<Win32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

Win32Control* controlOf(Win32Form* form, HWND hwnd)
{
    if (form)
        for (const auto& control : form->controls)
            if (win32(*control).hwnd == hwnd)
                return &win32(*control);
    return nullptr;
}

LRESULT CALLBACK formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32Form* form = formOf(hwnd);
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_COMMAND:
        if (Win32Control* control = controlOf(form, reinterpret_cast<HWND>(lParam))) {
            if (HIWORD(wParam) == EN_CHANGE)
                control->stale = true;
            else if (HIWORD(wParam) == BN_CLICKED && control->click)
                runHandler(control->click);
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC: {
        Win32Control* control = controlOf(form, reinterpret_cast<HWND>(lParam));
        if (control && control->foreColor != DEFAULT_COLOR) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            const std::uint32_t c = control->foreColor;
            SetTextColor(dc, RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_ACTIVATE:
        // Keep the focused control across a message box or another window.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (form && focus && IsChild(hwnd, focus))
                form->lastFocus = focus;
        } else if (form && form->lastFocus && IsWindow(form->lastFocus)) {
            SetFocus(form->lastFocus);
            return 0;
        }
        break;
    case WM_CLOSE:
        // The close control: the only form unloads and the program ends.
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void registerFormClass()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = formProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = FORM_CLASS;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw controlError(u"RegisterClassExW");
}

HWND create(const ControlLayout& layout, int id, HWND parent, HFONT font)
{
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE, exStyle = 0;
    switch (layout.kind) {
    case Kind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case Kind::TextBox:
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case Kind::CommandButton:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;  // never the default button
        break;
    }
    HWND hwnd = CreateWindowExW(exStyle, cls, toWide(layout.caption).c_str(), style, pixels(layout.left), pixels(layout.top),
                                pixels(layout.width), pixels(layout.height), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!hwnd)
        throw controlError(u"CreateWindowExW");
    if (layout.kind == Kind::TextBox) {
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // no length limit (the default is 32767)
        SetWindowSubclass(hwnd, textBoxProc, 0, 0);
    }
    // A substitute face may set its lines taller than the label (Noto's CJK
    // faces do, unlike 宋体): then the line is centred so no glyph is cut.
    if (layout.kind == Kind::Label) {
        HDC dc = GetDC(hwnd);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(hwnd, dc);
        if (metrics.tmHeight > pixels(layout.height))
            SetWindowLongW(hwnd, GWL_STYLE, GetWindowLongW(hwnd, GWL_STYLE) | SS_CENTERIMAGE);
    }
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

// One message as the event loop handles it. Enter and Esc start nothing: there
// is no default or cancel button, so their keys never reach the form.
void dispatch(MSG& msg)
{
    const bool enterOrEscape = (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
                               (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
    if (startupWindow && (msg.hwnd == startupWindow || IsChild(startupWindow, msg.hwnd))) {
        if (enterOrEscape || IsDialogMessageW(startupWindow, &msg))
            return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

}  // namespace

// ---- Controls --------------------------------------------------------------

void Control::setVisible(bool visible)
{
    HWND hwnd = win32(*native_).hwnd;
    const bool hadFocus = GetFocus() == hwnd;
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
    // A hidden control cannot keep the focus: it moves on in tab order.
    if (!visible && hadFocus) {
        HWND parent = GetParent(hwnd);
        HWND next = GetNextDlgTabItem(parent, hwnd, FALSE);
        SetFocus(next && next != hwnd ? next : parent);
    }
}

bool Control::visible() const
{
    return (GetWindowLongW(win32(*native_).hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool textChanged(NativeControl& box)
{
    return std::exchange(win32(box).stale, false);
}

void readText(NativeControl& box, std::u16string& copy)
{
    copy = windowText(win32(box).hwnd);
}

void putText(NativeControl& box, std::u16string_view text)
{
    Win32Control& edit = win32(box);
    // An EDIT holds no NUL: the text ends at the first one, as a paste would.
    const std::wstring value = toWide(text.substr(0, text.find(u'\0')));
    edit.stale = true;
    // The EDIT's own buffer keeps what it held: it is overwritten in place
    // first, with no undo, so that the text replaced (an identity number)
    // stays nowhere in its memory.
    if (const int length = GetWindowTextLengthW(edit.hwnd); length > 0) {
        const std::wstring blanks(static_cast<std::size_t>(length), L' ');
        SendMessageW(edit.hwnd, EM_SETSEL, 0, -1);
        SendMessageW(edit.hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(blanks.c_str()));
    }
    if (!SetWindowTextW(edit.hwnd, value.c_str()))
        throw controlError(u"SetWindowTextW");
}

void TextBox::setEnabled(bool enabled)
{
    EnableWindow(win32(*native_).hwnd, enabled);
}

bool TextBox::enabled() const
{
    return IsWindowEnabled(win32(*native_).hwnd) != FALSE;
}

// ---- The form --------------------------------------------------------------

Form::Form(const FormLayout& layout) : native_(std::make_unique<Win32Form>())
{
    Win32Form& form = win32(*native_);
    registerFormClass();
    RECT outer{0, 0, pixels(layout.clientWidth), pixels(layout.clientHeight)};
    AdjustWindowRectEx(&outer, FORM_STYLE, FALSE, 0);
    HWND hwnd = CreateWindowExW(0, FORM_CLASS, toWide(layout.caption).c_str(), FORM_STYLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                GetModuleHandleW(nullptr), &form);
    if (!hwnd)
        throw controlError(u"CreateWindowExW");
    form.hwnd = hwnd;

    HFONT formFont = createFont(layout.font);
    form.fonts.push_back(formFont);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(formFont), FALSE);

    // Created in tab order, so that Tab and the dialog manager follow it; each
    // box's label just before its box, where screen readers look for its name.
    std::vector<const ControlLayout*> byTab;
    for (const ControlLayout& control : layout.controls)
        byTab.push_back(&control);
    std::stable_sort(byTab.begin(), byTab.end(), [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    const auto labelsABox = [&](const ControlLayout* label) {
        return std::any_of(byTab.begin(), byTab.end(),
                           [&](auto* box) { return box->kind == Kind::TextBox && labelOf(layout, *box) == label; });
    };
    std::vector<std::size_t> order;
    for (const ControlLayout* control : byTab) {
        if (control->kind == Kind::Label && labelsABox(control))
            continue;
        if (const ControlLayout* label = control->kind == Kind::TextBox ? labelOf(layout, *control) : nullptr)
            order.push_back(static_cast<std::size_t>(label - layout.controls.data()));
        order.push_back(static_cast<std::size_t>(control - layout.controls.data()));
    }
    for (std::size_t i : order) {
        const ControlLayout& control = layout.controls[i];
        HFONT font = formFont;
        if (control.font) {
            font = createFont(*control.font);
            form.fonts.push_back(font);
        }
        HWND child = create(control, FIRST_CONTROL_ID + static_cast<int>(i), hwnd, font);
        form.controls.push_back(std::make_unique<Win32Control>(control, child));
    }
    if (!startupWindow)
        startupWindow = hwnd;
}

Form::~Form()
{
    const Win32Form& form = win32(*native_);
    if (startupWindow == form.hwnd)
        startupWindow = nullptr;
    if (IsWindow(form.hwnd))
        DestroyWindow(form.hwnd);
    for (HFONT font : form.fonts)
        DeleteObject(font);
}

float Form::width() const
{
    RECT r;
    GetWindowRect(win32(*native_).hwnd, &r);
    return twips(r.right - r.left);
}

float Form::height() const
{
    RECT r;
    GetWindowRect(win32(*native_).hwnd, &r);
    return twips(r.bottom - r.top);
}

void Form::setLeft(float value)
{
    left_ = value;
    HWND hwnd = win32(*native_).hwnd;
    RECT r;
    GetWindowRect(hwnd, &r);
    SetWindowPos(hwnd, nullptr, pixels(value), r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::setTop(float value)
{
    top_ = value;
    HWND hwnd = win32(*native_).hwnd;
    RECT r;
    GetWindowRect(hwnd, &r);
    SetWindowPos(hwnd, nullptr, r.left, pixels(value), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::show()
{
    HWND hwnd = win32(*native_).hwnd;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    // The focus starts in the first control in tab order that can take it.
    if (HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE))
        SetFocus(first);
}

// ---- Screen, message box, End ----------------------------------------------

float Screen::width()
{
    return twips(GetSystemMetrics(SM_CXSCREEN));
}

float Screen::height()
{
    return twips(GetSystemMetrics(SM_CYSCREEN));
}

void showMessage(std::u16string_view prompt, std::u16string_view title)
{
    if (!messageBox(prompt, title, MB_OK))
        throw controlError(u"MessageBoxW");
}

namespace {
HCURSOR cursorBeforeBusy = nullptr;
}

BusyCursor::BusyCursor()
{
    cursorBeforeBusy = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
}

BusyCursor::~BusyCursor()
{
    SetCursor(cursorBeforeBusy);
}

void End()
{
    ExitProcess(0);
}

void reportRuntimeError(const RuntimeError& error) noexcept
{
    try {
        const std::u16string_view title = project ? project->name : std::u16string_view();
        messageBox(error.report(), title, MB_OK | MB_ICONERROR);
    } catch (...) {
        // The report itself failed (out of memory): end all the same.
    }
    ExitProcess(1);
}

// ---- The application -------------------------------------------------------

Application::Application(const ProjectRecord& record)
{
    project = &record;
    SetProcessDPIAware();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (record.locale == 2052)
        SetThreadUILanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
}

Application::~Application()
{
    project = nullptr;
}

int Application::exec()
{
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0)
        dispatch(msg);
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
}

void processEvents()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {  // left for the event loop
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        dispatch(msg);
    }
}

}  // namespace tk
