#include "stick_watch.h"

#include "stick_drives.h"

namespace dva {
namespace {

// How many of the window's ticks go by before letters that are no sticks are looked at again,
// when no stick is in and no letter came or went.
constexpr unsigned kQuietTicks = 30;
// How long the end of the program waits for a check under way to let go.
constexpr DWORD kStopWithin = 3000;
// How often a drive letter that is no stick is asked its kind again.
constexpr std::uint64_t kAskKindAgainEvery = 30000;

std::uint32_t bitOf(wchar_t letter) { return 1u << (letter - L'A'); }

std::uint64_t fileTime(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

// The two cheap queries of a present stick: its root autorun.inf's attributes, size and time, and
// its free space; false when the free space cannot be had (no stick there, or not ready).
bool lookAt(wchar_t letter, stick::StickTick& tick) {
    const std::wstring root{letter, L':', L'\\'};
    tick = {GetTickCount64(), std::nullopt, 0};
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return false;
    tick.freeBytes = available.QuadPart;
    WIN32_FILE_ATTRIBUTE_DATA autorun{};
    if (GetFileAttributesExW(longPath(root + L"autorun.inf").c_str(), GetFileExInfoStandard, &autorun)) {
        tick.autorun = stick::AutorunLook{autorun.dwFileAttributes,
                                          (std::uint64_t{autorun.nFileSizeHigh} << 32) | autorun.nFileSizeLow,
                                          fileTime(autorun.ftLastWriteTime)};
    }
    return true;
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

// The watch's thread sleeps while no stick is in: a tick wakes it only when the drive letters
// changed, a stick is being watched, or now and then to ask the other letters their kind again.
void StickWatch::tick() {
    if (!wake_) return;
    const std::uint32_t letters = driveLetters();
    if (letters != lettersSeen_ || watching_ || ++quietTicks_ >= kQuietTicks) {
        quietTicks_ = 0;
        SetEvent(wake_.get());
    }
    lettersSeen_ = letters;
}

DWORD WINAPI StickWatch::threadMain(void* self) {
    static_cast<StickWatch*>(self)->run();
    return 0;
}

void StickWatch::run() {
    failCriticalErrorsQuietly();
    while (true) {
        WaitForSingleObject(wake_.get(), INFINITE);
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
    bool anyStick = false;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        const std::uint32_t bit = bitOf(letter);
        if (!(present & bit)) {
            if (drives_.erase(letter)) check_.forget(letter);
            kinds_.erase(letter);
            continue;
        }
        const std::uint64_t now = GetTickCount64();
        const auto [kind, added] = kinds_.try_emplace(letter);
        if (added || (arrived & bit) || (!kind->second.stick && now - kind->second.askedAt >= kAskKindAgainEvery))
            kind->second = {isStickDrive(letter), now};
        if (!kind->second.stick) continue;
        anyStick = true;

        Drive& drive = drives_[letter];
        // A stick known to be in costs its two cheap queries; the stick itself is asked who it is
        // only when it is new, or when those show a change (another stick in its place shows one).
        stick::StickTick seen;
        const bool looked = lookAt(letter, seen);
        const bool known = drive.ready && !(arrived & bit) && !(fresh & bit);
        if (looked && known && !drive.pace.due(seen)) {
            if (vaccinateAll) check_.vaccinate(letter);
            continue;
        }
        stick::StickIdentity identity;
        if (!looked || !port_.identify(letter, identity).ok()) {
            if (drive.ready) check_.forget(letter);
            drive = {};
            continue;
        }
        const bool putIn = !drive.ready || !(identity == drive.identity) || (arrived & bit);
        if (putIn || (fresh & bit)) {
            drive = {true, identity, {}};  // a new pace: due at once
            drive.pace.due(seen);
        }
        const stick::StickCheck::Outcome outcome = check_.check(letter);
        // A threat that stayed, or a stick that changed under the check: quietly again next time.
        if (outcome == stick::StickCheck::Outcome::Left || outcome == stick::StickCheck::Outcome::Unsettled)
            drive.pace.checkAgainNextTick();
        if ((putIn && vaccinating) || vaccinateAll) check_.vaccinate(letter);
    }
    watching_ = anyStick;
}

}  // namespace dva
