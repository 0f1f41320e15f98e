#include "stick_pace.h"

#include "launch_words.h"  // kAttrDirectory

namespace dva::stick {
namespace {

// An autorun.inf file that the previous tick did not have, or whose size or time is not the same.
bool autorunChanged(const std::optional<AutorunLook>& before, const std::optional<AutorunLook>& now) {
    if (!now || !now->file()) return false;  // gone, or the vaccination folder: nothing to read
    if (!before || !before->file()) return true;
    return now->size != before->size || now->written != before->written;
}

}  // namespace

bool AutorunLook::file() const { return (attributes & kAttrDirectory) == 0; }

bool StickPace::due(const StickTick& tick) {
    const bool first = !last_;
    const bool changed = !first && (autorunChanged(last_->autorun, tick.autorun) || tick.freeBytes != last_->freeBytes);
    // A clock that went back (it should not) counts as time enough.
    const bool timeUp = tick.nowMs < lastFullMs_ || tick.nowMs - lastFullMs_ >= kFullCheckEveryMs;
    const bool full = first || again_ || changed || timeUp;
    last_ = tick;
    if (full) {
        lastFullMs_ = tick.nowMs;
        again_ = false;
    }
    return full;
}

}  // namespace dva::stick
