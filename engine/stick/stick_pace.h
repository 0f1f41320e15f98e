// When a present stick is checked in full. Each tick the watcher asks two cheap questions of each
// stick: one attribute query of its root autorun.inf and the volume's free bytes. A FAT or exFAT
// root has no write time of its own, so a stick written to while it is in shows it by its free
// space. A full check (the root listed, files read) is due at once when the stick is first seen,
// when its autorun.inf appeared as a file or its size or write time changed, when the free space
// changed, and otherwise once every 30 seconds. One StickPace per stick present: a stick that
// leaves takes its pace with it, and the next one in that drive starts with a new one.
#pragma once

#include <cstdint>
#include <optional>

namespace dva::stick {

// The root's autorun.inf as one attribute query gives it. Times in the system's file time units.
struct AutorunLook {
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::uint64_t written = 0;

    bool file() const;  // not the vaccination folder
};

// What one tick saw of a present stick.
struct StickTick {
    std::uint64_t nowMs = 0;             // a steady clock
    std::optional<AutorunLook> autorun;  // nothing: no autorun.inf in the root
    std::uint64_t freeBytes = 0;         // free on the stick's volume
};

class StickPace {
public:
    static constexpr std::uint64_t kFullCheckEveryMs = 30'000;

    // Takes in one tick; true when a full check of the stick is due now (the caller runs it then).
    bool due(const StickTick& tick);
    // The check just run was unsettled (the stick changed under it): the next tick checks again.
    void checkAgainNextTick() { again_ = true; }

private:
    std::optional<StickTick> last_;  // the previous tick's
    std::uint64_t lastFullMs_ = 0;
    bool again_ = false;
};

}  // namespace dva::stick
