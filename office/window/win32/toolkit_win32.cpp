// The office window's toolkit on the Win32 API: native STATIC, BUTTON, EDIT,
// COMBOBOX and progress controls (common controls 6 through the manifest) in
// one fixed-frame window, the common file dialogs, the shell's folder chooser
// and MessageBoxW. Unicode throughout; laid out at the screen's dpi; the texts
// the system itself would show (message box buttons) are in Chinese.
#include "office/window/toolkit.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <mutex>
#include <stdexcept>

namespace otk {

namespace {

constexpr wchar_t WINDOW_CLASS[] = L"VarnholtOffice";
constexpr DWORD WINDOW_STYLE = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int FIRST_CONTROL_ID = 100;  // clear of IDOK and IDCANCEL, which Enter and Escape send
constexpr UINT WM_POSTED = WM_APP + 1;  // work handed over by post()

std::wstring wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string windowText(HWND hwnd)
{
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(hwnd, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

// An EDIT breaks lines at CR LF only, and ends its text at a NUL: lone line
// ends become CR LF, and a NUL shows as the replacement character.
std::wstring editText(std::u16string_view text)
{
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            out += L"\r\n";
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            out += c ? static_cast<wchar_t>(c) : L'\xFFFD';
        }
    }
    return out;
}

std::u16string fromEditText(std::u16string text)
{
    std::erase(text, u'\r');
    return text;
}

struct Control {
    ControlLayout layout;
    HWND hwnd = nullptr;
    std::function<void()> handler;
};

// MessageBoxW names its buttons in the system's language: a hook on this
// thread renames them as the box activates, before it is drawn.
LRESULT CALLBACK renameBoxButtons(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDOK, L"确定");
        SetDlgItemTextW(box, IDYES, L"是(&Y)");
        SetDlgItemTextW(box, IDNO, L"否(&N)");
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int messageBox(HWND owner, std::u16string_view prompt, std::u16string_view title, UINT type)
{
    HHOOK hook = SetWindowsHookExW(WH_CBT, renameBoxButtons, nullptr, GetCurrentThreadId());
    const int result = MessageBoxW(owner, wide(prompt).c_str(), wide(title).c_str(), type);
    if (hook)
        UnhookWindowsHookEx(hook);
    return result;
}

int CALLBACK hasFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool installed(const wchar_t* face)
{
    HDC screen = GetDC(nullptr);
    LOGFONTW wanted{};
    wanted.lfCharSet = GB2312_CHARSET;
    std::wcscpy(wanted.lfFaceName, face);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, hasFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// 9 points in the GB2312 character set, so that a substitute face carries
// the Chinese glyphs: 微软雅黑 where Windows has it (Vista on), else 宋体; the
// report in 新宋体, whose fixed pitch (a Chinese character two columns wide)
// keeps the packer's aligned columns aligned.
HFONT createFont(int dpi, bool fixedPitch)
{
    const wchar_t* face = fixedPitch ? L"NSimSun" : installed(L"Microsoft YaHei") ? L"Microsoft YaHei" : L"SimSun";
    return CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       (fixedPitch ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE), face);
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

struct NativeWindow {
    HWND hwnd = nullptr;
    HFONT font = nullptr, reportFont = nullptr;
    int dpi = 96;
    std::vector<Control> controls;
    std::function<void(const std::filesystem::path&)> dropHandler;
    std::function<bool()> closeHandler;
    std::mutex postedLock;  // posted is filled from any thread, emptied on the interface thread
    std::vector<std::function<void()>> posted;

    int scale(int pixels96) const { return MulDiv(pixels96, dpi, 96); }

    Control& find(std::string_view name)
    {
        for (Control& control : controls)
            if (control.layout.name == name)
                return control;
        throw std::logic_error("the window has no control " + std::string(name));
    }

    Control& find(std::string_view name, std::initializer_list<Kind> kinds)
    {
        Control& control = find(name);
        if (std::find(kinds.begin(), kinds.end(), control.layout.kind) == kinds.end())
            throw std::logic_error("the control " + std::string(name) + " cannot do that");
        return control;
    }

    Control* byHandle(HWND child)
    {
        for (Control& control : controls)
            if (control.hwnd == child)
                return &control;
        return nullptr;
    }

    // Only the checked radio button is a tab stop, so Tab enters the group
    // there and the arrow keys move within it.
    void checkRadio(Control& chosen)
    {
        for (Control& control : controls)
            if (control.layout.kind == Kind::Radio) {
                SendMessageW(control.hwnd, BM_SETCHECK, &control == &chosen ? BST_CHECKED : BST_UNCHECKED, 0);
                const LONG style = GetWindowLongW(control.hwnd, GWL_STYLE);
                SetWindowLongW(control.hwnd, GWL_STYLE, &control == &chosen ? style | WS_TABSTOP : style & ~WS_TABSTOP);
            }
    }

    void runPosted()
    {
        std::vector<std::function<void()>> work;
        {
            const std::lock_guard lock(postedLock);
            work.swap(posted);
        }
        for (auto& function : work)
            function();
    }

    void destroyed()
    {
        const std::lock_guard lock(postedLock);
        hwnd = nullptr;
        posted.clear();  // dropped unrun: the window they were for is gone
    }
};

namespace {

HWND createControl(NativeWindow& window, const ControlLayout& layout, int id, bool startsGroup)
{
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | (startsGroup ? WS_GROUP : 0);
    DWORD exStyle = 0;
    int height = window.scale(layout.height);
    std::u16string_view text = layout.caption;
    switch (layout.kind) {
    case Kind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case Kind::Button:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case Kind::Report:
        cls = L"EDIT";
        style |= WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL;
        exStyle = WS_EX_CLIENTEDGE;
        text = {};
        break;
    case Kind::Radio:
        cls = L"BUTTON";
        style |= BS_AUTORADIOBUTTON | (startsGroup ? WS_TABSTOP : 0);
        break;
    case Kind::Check:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    case Kind::Choice:
        cls = WC_COMBOBOXW;
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        height = window.scale(layout.height + 200);  // the window's height holds the open list too
        text = {};
        break;
    case Kind::Progress:
        cls = PROGRESS_CLASSW;
        break;
    }
    const int left = window.scale(layout.left), top = window.scale(layout.top), width = window.scale(layout.width);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Screen readers name an EDIT or a combo box by the label before it: a
    // hidden one carries the name the control has no caption for.
    if (layout.kind == Kind::Report || layout.kind == Kind::Choice) {
        HWND label = CreateWindowExW(0, L"STATIC", wide(layout.caption).c_str(), WS_CHILD | SS_LEFT | SS_NOPREFIX,
                                     left, top, width, 0, window.hwnd, nullptr, instance, nullptr);
        if (!label)
            throw std::runtime_error("CreateWindowExW failed for a label");
    }
    HWND hwnd = CreateWindowExW(exStyle, cls, wide(text).c_str(), style, left, top, width, height, window.hwnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!hwnd)
        throw std::runtime_error("CreateWindowExW failed for " + std::string(layout.name));
    SendMessageW(hwnd, WM_SETFONT,
                 reinterpret_cast<WPARAM>(layout.kind == Kind::Report ? window.reportFont : window.font), FALSE);
    switch (layout.kind) {
    case Kind::Report:
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // no length limit (the default is 32767)
        break;
    case Kind::Choice:
        SendMessageW(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), window.scale(layout.height) - 6);
        break;
    case Kind::Progress:
        // A progress bar's window text is its accessible name.
        SetWindowTextW(hwnd, wide(layout.caption).c_str());
        SendMessageW(hwnd, PBM_SETRANGE32, 0, 10000);
        break;
    default:
        break;
    }
    return hwnd;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* window = reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_COMMAND:
        if (Control* control = window ? window->byHandle(reinterpret_cast<HWND>(lParam)) : nullptr) {
            const WORD code = HIWORD(wParam);
            const bool clicked = code == BN_CLICKED && control->layout.kind != Kind::Choice;
            if (clicked && control->layout.kind == Kind::Radio)
                window->checkRadio(*control);
            if ((clicked || (code == CBN_SELCHANGE && control->layout.kind == Kind::Choice)) && control->handler) {
                const auto handler = control->handler;  // the handler may replace itself
                handler();
            }
            return 0;
        }
        break;
    case WM_NEXTDLGCTL:
        // Tab in the report: a multi-line EDIT asks its parent to move on.
        if (!LOWORD(lParam)) {
            if (HWND next = GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0))
                SetFocus(next);
        } else {
            SetFocus(reinterpret_cast<HWND>(wParam));
        }
        return 0;
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        if (window && window->dropHandler && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
            std::wstring path(DragQueryFileW(drop, 0, nullptr, 0) + 1, L'\0');
            path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
            DragFinish(drop);
            const auto handler = window->dropHandler;
            handler(std::filesystem::path(path));
        } else {
            DragFinish(drop);
        }
        return 0;
    }
    case WM_POSTED:
        if (window)
            window->runPosted();
        return 0;
    case WM_CLOSE:
        if (window && window->closeHandler && !window->closeHandler())
            return 0;
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        if (window)
            window->destroyed();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void registerWindowClass()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("RegisterClassExW failed");
}

// "名册 (*.xlsx)\0*.xlsx;*.csv\0…\0\0", as the common file dialogs take filters.
std::wstring filterText(std::span<const FileFilter> filters)
{
    std::wstring out;
    for (const FileFilter& filter : filters) {
        out += wide(filter.label);
        out += L'\0';
        out += wide(filter.patterns);
        out += L'\0';
    }
    out += L'\0';
    return out;
}

// The extension a save dialog adds to a bare name: the first pattern's ("*.html").
std::wstring defaultExtension(std::span<const FileFilter> filters)
{
    if (filters.empty())
        return {};
    const std::u16string_view first = filters.front().patterns.substr(0, filters.front().patterns.find(u';'));
    const auto dot = first.rfind(u'.');
    return dot == first.npos || first.substr(dot + 1).find(u'*') != first.npos ? std::wstring()
                                                                                 : wide(first.substr(dot + 1));
}

std::optional<std::filesystem::path> fileDialog(HWND owner, std::u16string_view title,
                                                const std::filesystem::path& suggested,
                                                std::span<const FileFilter> filters, bool save)
{
    std::wstring name(32768, L'\0');  // the longest path Windows takes
    const std::wstring file = suggested.filename().wstring();
    std::copy_n(file.begin(), std::min(file.size(), name.size() - 1), name.begin());
    const std::wstring folder = suggested.parent_path().wstring();
    const std::wstring filter = filterText(filters), extension = defaultExtension(filters), caption = wide(title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   (save ? 0 : OFN_FILEMUSTEXIST);  // the window itself asks before replacing a file
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog)))
        return std::nullopt;  // cancelled, or the dialog failed: either way nothing was chosen
    return std::filesystem::path(name.c_str());
}

int CALLBACK startFolderAt(HWND dialog, UINT message, LPARAM, LPARAM start)
{
    if (message == BFFM_INITIALIZED && start)
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

Control& control(NativeWindow& window, std::string_view name)
{
    return window.find(name);
}

}  // namespace

// ---- The window ------------------------------------------------------------

Window::Window(const WindowLayout& layout) : native_(std::make_unique<NativeWindow>())
{
    NativeWindow& window = *native_;
    registerWindowClass();
    window.dpi = screenDpi();
    RECT outer{0, 0, window.scale(layout.width), window.scale(layout.height)};
    AdjustWindowRectEx(&outer, WINDOW_STYLE, FALSE, 0);
    window.hwnd = CreateWindowExW(0, WINDOW_CLASS, wide(layout.title).c_str(), WINDOW_STYLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), &window);
    if (!window.hwnd)
        throw std::runtime_error("CreateWindowExW failed for the window");
    window.font = createFont(window.dpi, false);
    window.reportFont = createFont(window.dpi, true);
    SendMessageW(window.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(window.font), FALSE);
    // Created in tab order, which the dialog manager follows. Each control
    // but the second and later radio buttons starts a group, so the arrow
    // keys move among the radio buttons only.
    window.controls.reserve(layout.controls.size());
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const ControlLayout& item = layout.controls[i];
        const bool startsGroup = !(item.kind == Kind::Radio && i > 0 && layout.controls[i - 1].kind == Kind::Radio);
        window.controls.push_back({item, createControl(window, item, FIRST_CONTROL_ID + static_cast<int>(i), startsGroup), {}});
        // Each control keeps its layout entry, where tools that drive the
        // window (the tests) find its name and accessible name.
        SetWindowLongPtrW(window.controls.back().hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(&window.controls.back().layout));
    }
    DragAcceptFiles(window.hwnd, TRUE);
}

Window::~Window()
{
    if (native_->hwnd)
        DestroyWindow(native_->hwnd);
    for (HFONT font : {native_->font, native_->reportFont})
        if (font)
            DeleteObject(font);
}

void Window::show()
{
    HWND hwnd = native_->hwnd;
    if (!hwnd)
        return;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    if (HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE))
        SetFocus(first);
}

void Window::close()
{
    if (native_->hwnd)
        DestroyWindow(native_->hwnd);
}

void Window::setText(std::string_view name, std::u16string_view text)
{
    Control& c = control(*native_, name);
    if (c.layout.kind == Kind::Choice || c.layout.kind == Kind::Progress)
        throw std::logic_error("the control " + std::string(name) + " has no text to set");
    const std::wstring value = c.layout.kind == Kind::Report ? editText(text) : wide(text.substr(0, text.find(u'\0')));
    SetWindowTextW(c.hwnd, value.c_str());
}

std::u16string Window::text(std::string_view name) const
{
    Control& c = control(*native_, name);
    if (c.layout.kind == Kind::Choice || c.layout.kind == Kind::Progress)
        throw std::logic_error("the control " + std::string(name) + " has no text");
    return c.layout.kind == Kind::Report ? fromEditText(windowText(c.hwnd)) : windowText(c.hwnd);
}

void Window::setEnabled(std::string_view name, bool enabled)
{
    HWND hwnd = control(*native_, name).hwnd;
    // A control disabled while it has the focus would keep it, and the keyboard
    // would be stuck: the focus moves on first.
    if (!enabled && GetFocus() == hwnd)
        SendMessageW(native_->hwnd, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(hwnd, enabled);
}

bool Window::enabled(std::string_view name) const
{
    return IsWindowEnabled(control(*native_, name).hwnd) != FALSE;
}

void Window::setVisible(std::string_view name, bool visible)
{
    HWND hwnd = control(*native_, name).hwnd;
    if (!visible && GetFocus() == hwnd)
        SendMessageW(native_->hwnd, WM_NEXTDLGCTL, 0, FALSE);
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

bool Window::visible(std::string_view name) const
{
    return (GetWindowLongW(control(*native_, name).hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Window::setChecked(std::string_view name, bool checked)
{
    Control& c = native_->find(name, {Kind::Radio, Kind::Check});
    if (c.layout.kind == Kind::Radio && checked)
        native_->checkRadio(c);
    else
        SendMessageW(c.hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Window::checked(std::string_view name) const
{
    return SendMessageW(native_->find(name, {Kind::Radio, Kind::Check}).hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Window::setChoices(std::string_view name, const std::vector<std::u16string>& choices, int chosen)
{
    HWND hwnd = native_->find(name, {Kind::Choice}).hwnd;
    SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& choice : choices) {
        const std::wstring item = wide(std::u16string_view(choice).substr(0, choice.find(u'\0')));
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SendMessageW(hwnd, CB_SETCURSEL, chosen >= 0 && chosen < static_cast<int>(choices.size()) ? chosen : -1, 0);
}

int Window::chosen(std::string_view name) const
{
    const LRESULT index = SendMessageW(native_->find(name, {Kind::Choice}).hwnd, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Window::setProgress(std::string_view name, long long done, long long total)
{
    HWND hwnd = native_->find(name, {Kind::Progress}).hwnd;
    // The bar counts in records where the total fits its int range; larger
    // counts are scaled into 0..10000.
    constexpr long long SCALED = 10000;
    const long long range = total <= 0 ? SCALED : total <= INT_MAX ? total : SCALED;
    done = std::clamp(done, 0LL, std::max(total, 0LL));
    const long long position = total <= 0 ? 0 : range == total ? done
                                              : static_cast<long long>(static_cast<double>(done) / total * SCALED);
    if (SendMessageW(hwnd, PBM_GETRANGE, FALSE, 0) != range)
        SendMessageW(hwnd, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
    SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Window::onEvent(std::string_view name, std::function<void()> handler)
{
    native_->find(name, {Kind::Button, Kind::Radio, Kind::Check, Kind::Choice}).handler = std::move(handler);
}

void Window::onDrop(std::function<void(const std::filesystem::path&)> handler)
{
    native_->dropHandler = std::move(handler);
}

void Window::onClose(std::function<bool()> handler)
{
    native_->closeHandler = std::move(handler);
}

std::optional<std::filesystem::path> Window::openFile(std::u16string_view title, std::span<const FileFilter> filters)
{
    if (auto answer = testAnswer({Asked::Kind::OpenFile, std::u16string(title), std::u16string(title), {}}))
        return answer->path;
    return fileDialog(native_->hwnd, title, {}, filters, false);
}

std::optional<std::filesystem::path> Window::saveFile(std::u16string_view title, const std::filesystem::path& suggested,
                                                      std::span<const FileFilter> filters)
{
    if (auto answer = testAnswer({Asked::Kind::SaveFile, std::u16string(title), std::u16string(title), suggested}))
        return answer->path;
    return fileDialog(native_->hwnd, title, suggested, filters, true);
}

std::optional<std::filesystem::path> Window::chooseFolder(std::u16string_view title, const std::filesystem::path& start)
{
    if (auto answer = testAnswer({Asked::Kind::Folder, std::u16string(title), std::u16string(title), start}))
        return answer->path;
    const std::wstring caption = wide(title), folder = start.wstring();
    BROWSEINFOW browse{};
    browse.hwndOwner = native_->hwnd;
    browse.lpszTitle = caption.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = startFolderAt;
    browse.lParam = folder.empty() ? 0 : reinterpret_cast<LPARAM>(folder.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (!chosen)
        return std::nullopt;
    std::wstring path(32768, L'\0');
    const bool named = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    CoTaskMemFree(chosen);
    if (!named)
        return std::nullopt;  // a place with no file system path, as the printers: nothing to write to
    return std::filesystem::path(path.c_str());
}

bool Window::ask(std::u16string_view prompt, std::u16string_view title)
{
    if (auto answer = testAnswer({Asked::Kind::Question, std::u16string(title), std::u16string(prompt), {}}))
        return answer->yes;
    return messageBox(native_->hwnd, prompt, title, MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
}

void Window::tell(std::u16string_view prompt, std::u16string_view title, bool warning)
{
    if (testAnswer({Asked::Kind::Message, std::u16string(title), std::u16string(prompt), {}}))
        return;
    messageBox(native_->hwnd, prompt, title, MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

void Window::post(std::function<void()> work)
{
    NativeWindow& window = *native_;
    const std::lock_guard lock(window.postedLock);
    if (!window.hwnd)
        return;  // closed: dropped unrun
    const bool wake = window.posted.empty();  // else a wake-up is on its way already
    window.posted.push_back(std::move(work));
    if (wake && !PostMessageW(window.hwnd, WM_POSTED, 0, 0))
        window.posted.pop_back();
}

bool openWithSystem(const std::filesystem::path& path)
{
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, nullptr, path.wstring().c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

// ---- The application -------------------------------------------------------

namespace {
std::vector<std::string> utf8Arguments;  // what argv points into, for the process's life
}

Application::Application(int& argc, char** argv)
{
    SetProcessDPIAware();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    OleInitialize(nullptr);  // the folder chooser's new style needs OLE on this thread
    SetThreadUILanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    // The C runtime gives the arguments in the ANSI code page, which loses
    // whatever it cannot spell (a Chinese folder on an English Windows): they
    // are read again from the wide command line, in UTF-8.
    int count = 0;
    if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
        count = std::min(count, argc);
        utf8Arguments.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const int n = WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, nullptr, 0, nullptr, nullptr);
            std::string& out = utf8Arguments[static_cast<std::size_t>(i)];
            out.assign(static_cast<std::size_t>(std::max(n, 1)), '\0');
            WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, out.data(), n, nullptr, nullptr);
            out.resize(out.size() - 1);
            argv[i] = out.data();
        }
        argc = count;
        LocalFree(arguments);
    }
}

Application::~Application()
{
    OleUninitialize();
}

int Application::exec()
{
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        // Tab, the arrow keys, Space and Enter on a button as in a dialog box.
        // Escape does nothing: the report would take it as closing the window.
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        const bool escape = msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE;
        wchar_t cls[32] = {};
        if (root && GetClassNameW(root, cls, 32) && std::wcscmp(cls, WINDOW_CLASS) == 0 &&
            (escape || IsDialogMessageW(root, &msg)))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
}

}  // namespace otk
