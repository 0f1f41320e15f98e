#include "stick/stick_pace.h"

#include <gtest/gtest.h>

#include "stick/launch_words.h"

namespace dva::stick {
namespace {

// One stick's ticks, a second apart unless said otherwise, and whether each asks for a full check.
TEST(StickPaceTest, AFullCheckWhenFirstSeenWhenAutorunOrFreeSpaceChangedElseEvery30Seconds) {
    constexpr std::uint64_t kFree = 8ull << 30;
    const AutorunLook autorun{kAttrHidden | kAttrSystem, 40, 1000};
    const AutorunLook vaccine{kAttrHidden | kAttrSystem | kAttrDirectory, 0, 1000};
    const struct {
        const char* what;
        std::uint64_t nowMs;
        std::optional<AutorunLook> autorun;
        std::uint64_t freeBytes;
        bool againBefore;  // the check before was unsettled
        bool due;
    } ticks[] = {
        {"first seen", 0, {}, kFree, false, true},
        {"nothing changed", 1000, {}, kFree, false, false},
        {"free space changed", 2000, {}, kFree - 4096, false, true},
        {"the vaccination folder made", 3000, vaccine, kFree - 4096, false, false},
        {"autorun.inf appeared in its place", 4000, autorun, kFree - 4096, false, true},
        {"nothing changed again", 5000, autorun, kFree - 4096, false, false},
        {"autorun.inf grew", 6000, AutorunLook{autorun.attributes, 41, 1000}, kFree - 4096, false, true},
        {"autorun.inf written, same size", 7000, AutorunLook{autorun.attributes, 41, 2000}, kFree - 4096, false, true},
        {"only its marks changed", 8000, AutorunLook{0, 41, 2000}, kFree - 4096, false, false},
        {"autorun.inf gone", 9000, {}, kFree - 4096, false, false},
        {"29.999 s after the last full check", 36999, {}, kFree - 4096, false, false},
        {"30 s after it", 37000, {}, kFree - 4096, false, true},
        {"the check was unsettled", 38000, {}, kFree - 4096, true, true},
        {"then quiet again", 39000, {}, kFree - 4096, false, false},
    };
    StickPace pace;
    for (const auto& t : ticks) {
        if (t.againBefore) pace.checkAgainNextTick();
        EXPECT_EQ(pace.due({t.nowMs, t.autorun, t.freeBytes}), t.due) << t.what;
    }
}

}  // namespace
}  // namespace dva::stick
