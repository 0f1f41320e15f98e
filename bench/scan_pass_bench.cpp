// How much one threat scan pass of the engine costs beyond the file system's own work.
//
// With no threat file present, a pass is 19 presence tests and nothing else, so its floor is 19
// bare GetFileAttributesW calls on the same paths. Both are timed in the same process, in
// alternating rounds so that both see the same state of the machine and its caches; the median
// round of each is reported per pass.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "threat_scan.h"
#include "threat_table.h"
#include "win32_runtime.h"

namespace {

constexpr int kRounds = 31;
constexpr int kPassesPerRound = 200;
constexpr double kGoal = 1.1;  // a pass may cost at most this many times its floor

class NoDetections final : public dva::DetectionSink {
public:
    void append(std::wstring_view) override { ++appended; }
    int appended = 0;
};

using Clock = std::chrono::steady_clock;

// Microseconds per pass of the given work, one round.
template <class Work>
double timeRound(Work&& work) {
    const auto start = Clock::now();
    for (int i = 0; i < kPassesPerRound; ++i) work();
    const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
    return spent.count() / kPassesPerRound;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    dva::Win32Runtime runtime;
    NoDetections sink;
    dva::ThreatScan scan(runtime, sink);

    // A present threat would open a message box and wait for a user: the figures need a clean C:.
    for (const dva::ThreatEntry& entry : dva::kThreatTable) {
        if (runtime.probe(entry.path) != dva::Presence::Absent) {
            std::fprintf(stderr, "dva_bench: a threat file is present; remove it first: %ls\n", entry.path);
            return 2;
        }
    }

    volatile DWORD sinkAttributes = 0;  // keeps the floor's calls from being dropped
    auto floorPass = [&] {
        DWORD all = 0;
        for (const dva::ThreatEntry& entry : dva::kThreatTable) all ^= GetFileAttributesW(entry.path);
        sinkAttributes = all;
    };
    auto enginePass = [&] { scan.pass(); };

    // Warm up both before timing.
    timeRound(enginePass);
    timeRound(floorPass);

    std::vector<double> engineRounds, floorRounds;
    for (int r = 0; r < kRounds; ++r) {
        // Alternate which goes first so neither always follows the other.
        if (r % 2 == 0) {
            engineRounds.push_back(timeRound(enginePass));
            floorRounds.push_back(timeRound(floorPass));
        } else {
            floorRounds.push_back(timeRound(floorPass));
            engineRounds.push_back(timeRound(enginePass));
        }
    }
    if (sink.appended != 0) {
        std::fprintf(stderr, "dva_bench: the pass reported a threat during the run\n");
        return 2;
    }

    const double e = median(engineRounds), f = median(floorRounds);
    std::printf("scan pass, engine:              %8.2f us per pass (median of %d rounds of %d)\n", e, kRounds,
                kPassesPerRound);
    std::printf("floor, 19 x GetFileAttributesW: %8.2f us per pass\n", f);
    std::printf("ratio engine / floor:           %8.2fx  goal %.2fx  %s\n", e / f, kGoal,
                e / f <= kGoal ? "(within goal)" : "(above goal)");
    return 0;
}
