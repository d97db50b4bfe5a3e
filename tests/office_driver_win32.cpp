// The office driver on Win32: mouse clicks and drops are posted to the
// control a clerk would hit and go through the window's own message handling,
// so disabled controls refuse them as they do for a clerk. Controls are found
// by the accessible name their layout gives them, which each control keeps
// beside its handle.
#include "tests/office_driver.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wincodec.h>

#include <stdexcept>
#include <utility>

namespace {

HWND officeWindow()
{
    for (HWND hwnd = FindWindowW(L"VarnholtOffice", nullptr); hwnd;
         hwnd = FindWindowExW(nullptr, hwnd, L"VarnholtOffice", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == GetCurrentProcessId())
            return hwnd;
    }
    throw std::runtime_error("the office window is not open");
}

const otk::ControlLayout* layoutOf(HWND child)
{
    return reinterpret_cast<const otk::ControlLayout*>(GetWindowLongPtrW(child, GWLP_USERDATA));
}

// The control a screen reader announces by this name.
HWND control(std::u16string_view name)
{
    for (HWND child = GetWindow(officeWindow(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (const otk::ControlLayout* layout = layoutOf(child); layout && layout->caption == name)
            return child;
    throw std::runtime_error("the office window has no control named so");
}

std::string controlName(std::u16string_view name)
{
    return std::string(layoutOf(control(name))->name);
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

}  // namespace

OfficeDriver::OfficeDriver(PackForm::Setup setup, const std::filesystem::path& roster)
{
    takeDialogs();
    form_ = std::make_unique<PackForm>(std::move(setup));
    form_->window().show();
    pump();
    if (!roster.empty())
        form_->open(roster);
}

OfficeDriver::~OfficeDriver()
{
    form_->window().close();
    form_.reset();
    otk::answerDialogs({});
    pump();
}

void OfficeDriver::click(std::u16string_view name)
{
    HWND target = control(name);
    HWND window = officeWindow();
    RECT r;
    GetWindowRect(target, &r);
    // A check box or radio button takes the click on its box, as a clerk aims.
    const bool box = layoutOf(target)->kind == otk::Kind::Radio || layoutOf(target)->kind == otk::Kind::Check;
    POINT point{box ? r.left + 6 : (r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(window, &point);
    HWND hit = ChildWindowFromPointEx(window, point, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
    if (hit && hit != window) {
        MapWindowPoints(window, hit, &point, 1);
        const LPARAM at = MAKELPARAM(point.x, point.y);
        PostMessageW(hit, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(hit, WM_LBUTTONUP, 0, at);
    }
    pump();
}

void OfficeDriver::drop(const std::filesystem::path& file)
{
    // As the shell drops it: a DROPFILES header, then the wide names.
    const std::wstring name = file.wstring();
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::copy(name.begin(), name.end(), reinterpret_cast<wchar_t*>(header + 1));
    GlobalUnlock(memory);
    PostMessageW(officeWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    pump();
}

bool OfficeDriver::close()
{
    HWND window = officeWindow();
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    pump();
    return !IsWindow(window);
}

void OfficeDriver::choose(std::u16string_view name, int index)
{
    HWND box = control(name);
    if (!IsWindowEnabled(box) || index >= SendMessageW(box, CB_GETCOUNT, 0, 0))
        throw std::runtime_error("cannot choose there");
    // What the combo box does when an entry is picked from its list.
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));
    pump();
}

std::u16string OfficeDriver::text(std::u16string_view name) const { return form_->window().text(controlName(name)); }
bool OfficeDriver::enabled(std::u16string_view name) const { return IsWindowEnabled(control(name)) != FALSE; }
bool OfficeDriver::visible(std::u16string_view name) const { return IsWindowVisible(control(name)) != FALSE; }
bool OfficeDriver::checked(std::u16string_view name) const
{
    return SendMessageW(control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::u16string> OfficeDriver::choices(std::u16string_view name) const
{
    HWND box = control(name);
    std::vector<std::u16string> shown;
    for (LRESULT i = 0, n = SendMessageW(box, CB_GETCOUNT, 0, 0); i < n; ++i) {
        std::u16string item(static_cast<std::size_t>(SendMessageW(box, CB_GETLBTEXTLEN, i, 0)) + 1, u'\0');
        item.resize(static_cast<std::size_t>(SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        shown.push_back(item);
    }
    return shown;
}

std::pair<long long, long long> OfficeDriver::progress(std::u16string_view name) const
{
    HWND bar = control(name);
    if (layoutOf(bar)->kind != otk::Kind::Progress)
        throw std::runtime_error("not a progress bar");
    return {SendMessageW(bar, PBM_GETPOS, 0, 0), SendMessageW(bar, PBM_GETRANGE, FALSE, 0)};
}

bool OfficeDriver::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        pump();
    }
    return true;
}

// The window's client area as drawn, written by the system's imaging codecs.
void OfficeDriver::screenshot(const std::filesystem::path& png) const
{
    HWND window = officeWindow();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    HDC screen = GetDC(window), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> pixels(static_cast<std::size_t>(width) * height * 4);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);

    CoInitialize(nullptr);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    const bool written =
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(png.wstring().c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
        SUCCEEDED(frame->SetPixelFormat(&format)) &&
        SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                     static_cast<UINT>(pixels.size()), pixels.data())) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, factory})
        if (object)
            object->Release();
    if (!written)
        throw std::runtime_error("the screenshot could not be written");
}
