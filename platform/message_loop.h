// The program's event loop, and the single instance of each window.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "window.h"

namespace dva {

class MessageLoop {
public:
    // Runs until WM_QUIT; returns its exit code.
    int run();
    // Takes a destroyed window object and frees it once no window procedure is on the stack.
    void retire(std::unique_ptr<Window> w) { retired_.push_back(std::move(w)); }

private:
    std::vector<std::unique_ptr<Window>> retired_;
};

// The one instance of window class W: created hidden on first use, released when destroyed,
// created afresh by the next use.
template <class W>
class Single {
public:
    using Factory = std::function<std::unique_ptr<W>()>;
    Single(MessageLoop& loop, Factory make) : loop_(loop), make_(std::move(make)) {}

    W& get() {
        if (!w_) {
            w_ = make_();
            w_->onGone([this] { loop_.retire(std::move(w_)); });
            w_->create();
        }
        return *w_;
    }

private:
    MessageLoop& loop_;
    Factory make_;
    std::unique_ptr<W> w_;
};

// Hands one message to its window, giving the active window of the program its dialog keys
// (Tab, Enter, Space) first. Used by the event loop and by waits that keep the windows working.
void dispatchMessage(MSG& msg);

// Waits until the object is signalled or `ms` milliseconds are up, handing every message that
// arrives meanwhile to its window, so the program's windows keep answering (timer ticks included).
// A WM_QUIT ends the wait and is posted again for the event loop.
void waitHandlingMessages(HANDLE object, DWORD ms);

}  // namespace dva
