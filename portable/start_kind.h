// How a start of the program came about: what the command line asks (start_options.h) and what
// the event log records of the start (events.h).
#pragma once

namespace dva {

enum class StartKind {
    Ordinary,  // the splash first, as a user who starts the program sees it
    SignIn,    // straight into protection, no window shown
};

}  // namespace dva
