#include "stick_watch.h"

#include "stick_drives.h"

namespace dva {
namespace {

constexpr DWORD kLookEvery = 1000;
// A stick whose threat stayed (or that kept changing under the check) is checked again this often.
constexpr std::uint64_t kRetryEvery = 2000;
// A FAT or exFAT root keeps no time of its own change: a full look now and then finds what the
// cheap queries miss.
constexpr std::uint64_t kFullLookEvery = 30000;
// How long the end of the program waits for a check under way to let go.
constexpr DWORD kStopWithin = 3000;

std::uint32_t bitOf(wchar_t letter) { return 1u << (letter - L'A'); }

bool sameAutorun(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
    return a.dwFileAttributes == b.dwFileAttributes && a.nFileSizeLow == b.nFileSizeLow && a.nFileSizeHigh == b.nFileSizeHigh &&
           a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime &&
           a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime;
}

// The two cheap queries of a present stick: its root autorun.inf's attributes, size and time (zero
// when there is none), and its free space.
void lookAt(wchar_t letter, WIN32_FILE_ATTRIBUTE_DATA& autorun, std::uint64_t& freeBytes) {
    const std::wstring root{letter, L':', L'\\'};
    autorun = {};
    if (!GetFileAttributesExW(longPath(root + L"autorun.inf").c_str(), GetFileExInfoStandard, &autorun)) autorun = {};
    ULARGE_INTEGER available{};
    freeBytes = GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr) ? available.QuadPart : 0;
}

}  // namespace

StickWatch::~StickWatch() {
    if (!thread_) return;
    {
        const std::lock_guard lock(asked_);
        stop_ = true;
    }
    port_.abandonReads();
    SetEvent(wake_.get());
    WaitForSingleObject(thread_.get(), kStopWithin);
}

void StickWatch::setProtecting(bool on) {
    {
        const std::lock_guard lock(asked_);
        protecting_ = on;
        if (on) fresh_ = ~0u;
    }
    if (on && !thread_) {
        wake_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        thread_.reset(CreateThread(nullptr, 0, &StickWatch::threadMain, this, 0, nullptr));
    }
    if (wake_) SetEvent(wake_.get());
}

void StickWatch::setVaccinating(bool on) {
    {
        const std::lock_guard lock(asked_);
        vaccinating_ = on;
        vaccinateAll_ = on;
    }
    if (wake_) SetEvent(wake_.get());
}

void StickWatch::volumesArrived(std::uint32_t units) {
    {
        const std::lock_guard lock(asked_);
        arrived_ |= units;
    }
    if (wake_) SetEvent(wake_.get());
}

void StickWatch::removalAsked() { port_.abandonReads(); }

DWORD WINAPI StickWatch::threadMain(void* self) {
    static_cast<StickWatch*>(self)->run();
    return 0;
}

void StickWatch::run() {
    failCriticalErrorsQuietly();
    while (true) {
        WaitForSingleObject(wake_.get(), kLookEvery);
        {
            const std::lock_guard lock(asked_);
            if (stop_) return;
        }
        lookOnce();
    }
}

void StickWatch::lookOnce() {
    bool vaccinating = false, vaccinateAll = false;
    std::uint32_t arrived = 0, fresh = 0;
    {
        const std::lock_guard lock(asked_);
        if (!protecting_) return;  // what was asked meanwhile waits for protection to come back
        vaccinating = vaccinating_;
        vaccinateAll = std::exchange(vaccinateAll_, false);
        arrived = std::exchange(arrived_, 0);
        fresh = std::exchange(fresh_, 0);
    }
    port_.allowReads();
    check_.setVaccinating(vaccinating);
    const std::uint32_t present = driveLetters();
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        const std::uint32_t bit = bitOf(letter);
        if (!(present & bit)) {
            if (drives_.erase(letter)) check_.forget(letter);
            stickLetters_.erase(letter);
            continue;
        }
        const auto [kind, added] = stickLetters_.try_emplace(letter, false);
        if (added) kind->second = isStickDrive(letter);
        if (!kind->second) continue;

        Drive& drive = drives_[letter];
        stick::StickIdentity identity;
        if (!port_.identify(letter, identity).ok()) {
            if (drive.ready) check_.forget(letter);
            drive = {};
            continue;
        }
        const bool putIn = !drive.ready || !(identity == drive.identity) || (arrived & bit);
        const std::uint64_t now = GetTickCount64();
        if (putIn || (fresh & bit) || checkDue(letter, now)) {
            drive.ready = true;
            drive.identity = identity;
            drive.outcome = check_.check(letter);
            drive.checkedAt = now;
            lookAt(letter, drive.autorun, drive.freeBytes);  // what the check left is the new normal
        }
        if ((putIn && vaccinating) || vaccinateAll) check_.vaccinate(letter);
    }
}

bool StickWatch::checkDue(wchar_t letter, std::uint64_t now) {
    Drive& drive = drives_[letter];
    WIN32_FILE_ATTRIBUTE_DATA autorun{};
    std::uint64_t freeBytes = 0;
    lookAt(letter, autorun, freeBytes);
    const bool changed = !sameAutorun(autorun, drive.autorun) || freeBytes != drive.freeBytes;
    const bool unsettled = drive.outcome == stick::StickCheck::Outcome::Left ||
                           drive.outcome == stick::StickCheck::Outcome::Unsettled;
    return changed || (unsettled && now - drive.checkedAt >= kRetryEvery) || now - drive.checkedAt >= kFullLookEvery;
}

}  // namespace dva
