// Found instead of the system's <windows.h> when an engine source includes it: the engine is
// portable and reaches the system only through the runtime interface (runtime.h).
#error "the engine does not include <windows.h>: add what it needs to the Runtime interface"
