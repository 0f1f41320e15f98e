#include "com.h"

namespace dva {
namespace {

template <class Fn>
void bind(Fn& fn, HMODULE module, const char* name) {
    if (module) fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const OleApi& oleApi() {
    static const OleApi api = [] {
        OleApi a;
        const HMODULE ole = LoadLibraryW(L"ole32.dll");
        const HMODULE automation = LoadLibraryW(L"oleaut32.dll");
        bind(a.initialize, ole, "OleInitialize");
        bind(a.uninitialize, ole, "OleUninitialize");
        bind(a.createInstance, ole, "CoCreateInstance");
        bind(a.sysAllocString, automation, "SysAllocString");
        bind(a.sysAllocStringLen, automation, "SysAllocStringLen");
        bind(a.sysFreeString, automation, "SysFreeString");
        bind(a.variantClear, automation, "VariantClear");
        return a;
    }();
    return api;
}

}  // namespace dva
