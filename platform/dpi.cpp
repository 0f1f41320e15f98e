#include "dpi.h"

#include "handles.h"
#include "system_function.h"
#include "twips.h"

namespace dva {
namespace {

struct DpiApi {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
};

const DpiApi& api() {
    static const DpiApi a = [] {
        DpiApi r;
        HMODULE user = GetModuleHandleW(L"user32.dll");
        lookUp(r.getDpiForWindow, user, "GetDpiForWindow");
        lookUp(r.adjustForDpi, user, "AdjustWindowRectExForDpi");
        return r;
    }();
    return a;
}

}  // namespace

int dpiForWindow(HWND h) {
    if (api().getDpiForWindow && h) {
        if (UINT d = api().getDpiForWindow(h)) return static_cast<int>(d);
    }
    const WindowDc screen(nullptr);
    const int d = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return d > 0 ? d : kDefaultDpi;
}

void clientToWindowRect(RECT& r, DWORD style, DWORD exStyle, int dpi) {
    if (api().adjustForDpi && api().adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi))) return;
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
}

}  // namespace dva
