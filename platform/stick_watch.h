// The watch over the sticks: a thread of its own that, while real-time protection is on, finds
// each stick as it is put in (the system's word of a new volume, or a look at each tick of the
// main window's timer, since some drivers and Wine send nothing) and checks it at once, then looks again each second
// with one or two cheap queries, checking it again when its autorun.inf or its free space changed.
// The window's thread only passes on what the user and the system say; it never waits for a stick.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

#include "handles.h"
#include "stick/stick_check.h"
#include "stick/stick_pace.h"
#include "stick_files.h"

namespace dva {

// The system's slim lock, for std::lock_guard (std::mutex would bring a threads library of its
// own into the program).
class SlimLock {
public:
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class StickWatch {
public:
    StickWatch(stick::StickCheck& check, Win32StickPort& port) : check_(check), port_(port) {}
    ~StickWatch();
    StickWatch(const StickWatch&) = delete;
    StickWatch& operator=(const StickWatch&) = delete;

    // Real-time protection on or off: off, no stick is looked at. Turning it on checks every
    // stick present afresh, as "Tara ve Temizle" does.
    void setProtecting(bool on);
    // AutoRun protection ticked or unticked: ticked, each stick present now and each one put in
    // later that has no autorun.inf gets the vaccination folder.
    void setVaccinating(bool on);
    // The system's word that volumes came (`units`: one bit per letter from A): checked at once.
    void volumesArrived(std::uint32_t units);
    // A volume is about to be taken out: a move under way lets go of its file.
    void removalAsked();
    // The window's one-second tick, while protection is on: wakes the watch's thread when there
    // is something to look at (some drivers, and Wine, tell nothing of a stick put in).
    void tick();

private:
    static DWORD WINAPI threadMain(void* self);
    void run();
    void lookOnce();

    // What the watch knows of a stick drive's letter.
    struct Drive {
        bool ready = false;
        stick::StickIdentity identity;
        stick::StickPace pace;  // when it is checked in full
    };

    stick::StickCheck& check_;
    Win32StickPort& port_;
    UniqueHandle thread_;
    UniqueHandle wake_;

    // Asked by the windows' thread, taken by the watch's.
    SlimLock asked_;
    bool protecting_ = false;
    bool vaccinating_ = false;
    bool vaccinateAll_ = false;
    bool stop_ = false;
    std::uint32_t arrived_ = 0;
    std::uint32_t fresh_ = 0;  // letters to check afresh

    // The windows' thread alone.
    std::uint32_t lettersSeen_ = 0;
    unsigned quietTicks_ = 0;
    // Set by the watch's thread: a stick drive is there, so every tick wakes it.
    std::atomic<bool> watching_{false};

    // The watch's thread alone.
    std::map<wchar_t, Drive> drives_;
    // Each letter's kind while it is a drive, and when it was asked: a letter that is no stick is
    // asked again now and then (a drive just come may not say its kind yet), and on the system's
    // word that a volume came.
    struct Kind {
        bool stick = false;
        std::uint64_t askedAt = 0;
    };
    std::map<wchar_t, Kind> kinds_;
};

}  // namespace dva
