// WinMain: the one place that wires the program's parts together.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <memory>

#include "about_window.h"
#include "agreement_window.h"
#include "autorun_protection.h"
#include "desktop_shell.h"
#include "detections_window.h"
#include "main_window.h"
#include "restore_files.h"
#include "message_loop.h"
#include "quarantine_folder.h"
#include "single_copy.h"
#include "splash_window.h"
#include "start_options.h"
#include "stick_watch.h"
#include "support_door.h"
#include "support_window.h"
#include "system_function.h"
#include "threat_scan.h"
#include "ui_thread.h"
#include "win32_notices.h"
#include "win32_runtime.h"
#include "window.h"

#if defined(__GLIBCXX__)
// GCC's C++ runtime ends the program through this handler when an exception escapes. Its own
// version writes the exception's type, demangled, to standard error, which a windowed program
// does not have; the demangler alone is about 45 KB of the .exe. Ending at once is what this
// program's users see either way.
void __gnu_cxx::__verbose_terminate_handler() { std::abort(); }
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    // Before anything loads a DLL on demand: never from the program's own folder.
    dva::searchSystemFolderForDlls();
    // The support window alone, with the rights of whoever started this copy.
    const dva::StartOptions options = dva::parseStartOptions(arguments ? arguments : L"");
    // A file put back from the quarantine, and nothing else: no window, no protection, no claim
    // on the single-copy name, so it works beside a running copy too.
    if (options.restore) return dva::runRestore(options.restoreHash, options.restoreFolder, options.restoreExtraWords);
    if (options.supportOnly) return dva::runSupportCopy();

    // A second start hands over to the copy that runs and ends without a window of its own. The
    // sign-in task's start asks nothing of it: nobody asked to see the window then.
    const dva::SingleCopy copy;
    if (copy.runningCopy()) {
        if (options.kind == dva::StartKind::Ordinary) copy.handOver();
        return 0;
    }

    dva::initCommonControls();
    dva::OleSession ole;  // brought up by the windows that need it, ended after the last one is gone

    dva::MessageLoop loop;
    dva::Win32Runtime runtime;
    dva::Win32Notices notices;  // for the windows that only tell the user something
    dva::DesktopWebPages webPages;
    runtime.report(dva::programStarted(options.kind));
    dva::Single<dva::DetectionsWindow> detectionsWindow(loop, [] { return std::make_unique<dva::DetectionsWindow>(); });
    dva::DetectionList detections(detectionsWindow);
    dva::PathsInHand inHand;  // AutoRun protection holds its path there; the scan leaves it alone meanwhile
    dva::ThreatScan scan(runtime, detections, &inHand);
    dva::AutoRunProtection autorun(runtime, detections, &inHand);
    // The sticks are checked on a thread of their own; what the user sees of them, and the event
    // log, come back to this one.
    dva::UiThread ui;
    dva::UiThreadRuntime stickRuntime(ui, runtime, detections);
    dva::Win32StickPort stickPort(dva::quarantineFolder);
    dva::stick::StickCheck stickCheck(stickRuntime, stickRuntime, stickPort);
    dva::StickWatch sticks(stickCheck, stickPort);
    // The about window may hand its page to the shell, which can use COM; the support window
    // hosts the browser control.
    dva::Single<dva::AboutWindow> about(loop, [&] {
        ole.ensure();
        return std::make_unique<dva::AboutWindow>(notices, webPages);
    });
    dva::Single<dva::SupportWindow> support(loop, [&] {
        ole.ensure();
        return std::make_unique<dva::SupportWindow>(notices);
    });
    dva::Single<dva::AgreementWindow> agreement(loop, [&] {
        return std::make_unique<dva::AgreementWindow>(notices, [&] {
            ole.ensure();  // the desktop shell is found through COM
            dva::openSupport(notices, support);
        });
    });
    dva::Single<dva::MainWindow> mainWindow(loop, [&] {
        return std::make_unique<dva::MainWindow>(
            runtime, scan, autorun, sticks, detectionsWindow,
            dva::MainWindowLinks{[&] { about.get().show(); }, [&] { agreement.get().show(); }});
    });

    dva::Single<dva::SplashWindow> splash(loop, [&] { return std::make_unique<dva::SplashWindow>(mainWindow); });

    if (options.kind == dva::StartKind::SignIn) {
        // Started at sign-in: straight into the state the splash hands over to, except that the
        // main window stays hidden behind its icon, as if the user had closed it. Creating it
        // starts the scan timer and adds the icon; until the shell's notification area is up,
        // the icon comes with its "TaskbarCreated".
        mainWindow.get();
    } else {
        splash.get().show();
    }
    const int exitCode = loop.run();
    runtime.report({dva::EventKind::ProgramEnded, L"exit"});
    return exitCode;
}
