// Which drive letters hold sticks: removable drives (USB sticks, memory cards, also an empty card
// slot) and fixed disks attached by USB. Never network, optical, RAM or SUBST drives, internal
// fixed disks, the system's drive, nor A: and B:, where a floppy drive would seek at every look.
#pragma once

#include <cstdint>

namespace dva {

// The letters that are drives now, one bit each from A (bit 0): the system's own list, cheap.
std::uint32_t driveLetters();

// Whether the drive at that letter is one to watch. Asks the drive's type, and for a fixed disk
// its bus; a question that fails counts as "no".
bool isStickDrive(wchar_t letter);

// Keeps the system's "insert a disk" box away from this thread: a drive that is not ready just
// answers so. Every thread that touches a stick calls it (a process-wide SetErrorMode would be
// inherited by the programs this one starts).
void failCriticalErrorsQuietly();

}  // namespace dva
