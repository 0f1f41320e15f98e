#include "win32_runtime.h"

#include <windows.h>

#include "command_run.h"
#include "error_report.h"
#include "exact_file.h"
#include "system_folder.h"
#include "win32_notices.h"

namespace dva {

void Win32Runtime::message(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    showMessageBox(text, title, icon);
}
bool Win32Runtime::runtimeErrorReportOpen() const { return dva::runtimeErrorReportOpen(); }
std::wstring Win32Runtime::errorReason(std::uint32_t code) { return errorText(code); }

Presence Win32Runtime::probe(std::wstring_view path) { return presenceAt(path); }
OpResult Win32Runtime::clearReadOnly(std::wstring_view path) { return clearReadOnlyExactly(path); }
OpResult Win32Runtime::deleteFile(std::wstring_view path) { return deleteExactly(path); }
OpResult Win32Runtime::makeFolder(std::wstring_view path) { return makeFolderAt(path); }
OpResult Win32Runtime::runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) {
    return dva::runCommandLine(line, waitMs, inBackground);
}
std::wstring Win32Runtime::systemFolder() { return systemProgramFolder(); }
std::uint64_t Win32Runtime::nowMs() { return GetTickCount64(); }

void Win32Runtime::report(const Event& event) {
    eventLog_.write(event, carriesError(event.kind) ? errorText(event.error) : std::wstring());
}

}  // namespace dva
