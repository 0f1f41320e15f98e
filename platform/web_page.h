// Opening a web address in a browser: what the about window needs beside the engine's port.
#pragma once

#include <string_view>

#include "runtime.h"

namespace dva {

class WebPageOpener {
public:
    virtual ~WebPageOpener() = default;
    // Opens a web address: in the browser program at browserPath (a full path), or, when no
    // program can be started from there, in the system's default browser. The browser never
    // gets the program's raised rights: when the program runs elevated it is started by the
    // signed-in user's desktop shell. Fails only when neither browser could be started.
    virtual OpResult openWebPage(std::wstring_view browserPath, std::wstring_view address) = 0;
};

}  // namespace dva
