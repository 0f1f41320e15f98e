#include "error_report.h"

#include <windows.h>

#include <string>

#include "message_loop.h"
#include "number_text.h"
#include "product_config.h"

namespace dva {

void showRuntimeError(unsigned long code, const wchar_t* what) {
    std::wstring text = L"Çalışma zamanı hatası " + decimalText(code) + L":\n" + what;
    OpenBox open;  // no scan may run behind the report
    MessageBoxW(nullptr, text.c_str(), DVA_PRODUCT_NAME, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

void runtimeErrorReport(unsigned long code, const wchar_t* what) {
    showRuntimeError(code, what);
    ExitProcess(static_cast<UINT>(code ? code : 1));
}

}  // namespace dva
