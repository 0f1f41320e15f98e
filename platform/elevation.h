// Whether this process runs with raised rights: what the single-copy check, the support window's
// door and the opening of web pages decide by.
#pragma once

namespace dva {

// Whether this process runs with raised (administrator) rights.
bool runningElevated();

}  // namespace dva
