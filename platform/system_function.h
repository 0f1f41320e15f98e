// Functions of system DLLs looked up at run time: those newer than the oldest Windows the program
// runs on, and those of DLLs that only some runs need.
#pragma once

#include <windows.h>

namespace dva {

// Sets fn to the named export of module, or leaves it null when the module or the export is
// missing. The detour through void* keeps the FARPROC-to-pointer cast free of warnings.
template <class Fn>
void lookUp(Fn& fn, HMODULE module, const char* name) {
    fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace dva
