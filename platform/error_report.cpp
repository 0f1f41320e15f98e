#include "error_report.h"

#include <windows.h>

#include <string>

#include "number_text.h"
#include "product_config.h"

namespace dva {
namespace {

int reportsOpen = 0;  // one user-interface thread

}  // namespace

bool runtimeErrorReportOpen() { return reportsOpen > 0; }

void showRuntimeError(unsigned long code, const wchar_t* what) {
    std::wstring text = L"Çalışma zamanı hatası " + decimalText(code) + L":\n" + what;
    ++reportsOpen;  // no scan may run behind the report
    MessageBoxW(nullptr, text.c_str(), DVA_PRODUCT_NAME, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    --reportsOpen;
}

void runtimeErrorReport(unsigned long code, const wchar_t* what) {
    showRuntimeError(code, what);
    ExitProcess(static_cast<UINT>(code ? code : 1));
}

}  // namespace dva
