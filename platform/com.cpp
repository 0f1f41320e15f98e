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
        lookUp(a.initializeSecurity, ole, "CoInitializeSecurity");
        lookUp(a.createInstance, ole, "CoCreateInstance");
        lookUp(a.sysAllocString, automation, "SysAllocString");
        lookUp(a.sysAllocStringLen, automation, "SysAllocStringLen");
        lookUp(a.sysFreeString, automation, "SysFreeString");
        lookUp(a.variantClear, automation, "VariantClear");
        return a;
    }();
    return api;
}

void OleSession::ensure() {
    const OleApi& a = api();
    if (ok_ || !a.initialize || !a.uninitialize) return;
    ok_ = SUCCEEDED(a.initialize(nullptr));
    // Once per process, before the first call that crosses to another; the answer changes nothing
    // here (RPC_E_TOO_LATE would mean a second session in the same process, already set).
    if (ok_ && a.initializeSecurity)
        (void)a.initializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IDENTIFY,
                                   nullptr, EOAC_NO_CUSTOM_MARSHAL, nullptr);
}

bool offerKeyToControl(IUnknown* control, HWND controlWindow, MSG& msg) {
    if (!control || !controlWindow || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    if (msg.hwnd != controlWindow && !IsChild(controlWindow, msg.hwnd)) return false;
    ComRef<IOleInPlaceActiveObject> active;
    if (FAILED(control->QueryInterface(IID_IOleInPlaceActiveObject, active.putVoid())) || !active) return false;
    return active->TranslateAccelerator(&msg) == S_OK;
}

}  // namespace dva
