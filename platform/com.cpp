#include "com.h"

#include "system_function.h"

namespace dva {

const OleApi& oleApi() {
    static const OleApi api = [] {
        OleApi a;
        const HMODULE ole = loadSystemLibrary(L"ole32.dll");
        const HMODULE automation = loadSystemLibrary(L"oleaut32.dll");
        lookUp(a.initialize, ole, "OleInitialize");
        lookUp(a.uninitialize, ole, "OleUninitialize");
        lookUp(a.createInstance, ole, "CoCreateInstance");
        lookUp(a.sysAllocString, automation, "SysAllocString");
        lookUp(a.sysAllocStringLen, automation, "SysAllocStringLen");
        lookUp(a.sysFreeString, automation, "SysFreeString");
        lookUp(a.variantClear, automation, "VariantClear");
        return a;
    }();
    return api;
}

bool offerKeyToControl(IUnknown* control, HWND controlWindow, MSG& msg) {
    if (!control || !controlWindow || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    if (msg.hwnd != controlWindow && !IsChild(controlWindow, msg.hwnd)) return false;
    ComRef<IOleInPlaceActiveObject> active;
    if (FAILED(control->QueryInterface(IID_IOleInPlaceActiveObject, active.putVoid())) || !active) return false;
    return active->TranslateAccelerator(&msg) == S_OK;
}

}  // namespace dva
