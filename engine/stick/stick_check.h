// One check of a stick: its threats found (the autorun.inf's worms, then the shortcut worm's
// shortcuts, each followed by its worm files), the user told in one box, the same stick and the
// same files made sure of once the box is closed, then each threat listed and moved to the
// quarantine, and the items the shortcuts stood in for made visible again. Runs off the window's
// thread (the port's calls touch the stick); the boxes are the runtime's, modal to the program.
// Also makes the vaccination folder when asked to.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime.h"
#include "stick_port.h"

namespace dva::stick {

class StickCheck {
public:
    StickCheck(Runtime& rt, DetectionSink& detections, StickPort& port)
        : rt_(rt), detections_(detections), port_(port) {}

    enum class Outcome {
        NotReady,  // no stick there, or it was pulled out during the check: nothing shown
        Clean,     // nothing to do
        Cleaned,   // every threat is in the quarantine
        Left,      // some threat stays on the stick (retried quietly by the next checks)
        Unsettled, // the stick kept changing under the check: check it again on the next tick
    };

    // One check of the stick in drive `letter`. A threat that could not be moved before is tried
    // again without a new box; the user sees at most one "Hata" box per stick.
    Outcome check(wchar_t letter);

    // AutoRun protection ticked or unticked. While ticked, a stick whose threat autorun.inf was
    // just moved away gets the vaccination folder.
    void setVaccinating(bool on) { vaccinating_ = on; }
    // Gives the stick its vaccination folder if its root has no autorun.inf at all: when AutoRun
    // protection is ticked (each stick present) and when a stick is put in while it is.
    void vaccinate(wchar_t letter);

    // The stick left its drive: the next one there starts afresh.
    void forget(wchar_t letter) { sticks_.erase(letter); }

private:
    // A root item a shortcut worm hid, and the shortcuts in front of it: it is made visible again
    // once each of them is in the quarantine, so a failed move leaves the stick as it was.
    struct Hidden {
        std::wstring name;                   // as the listing spells it
        std::vector<std::size_t> shortcuts;  // their places in Seen::threats
    };
    struct Seen {
        StickIdentity identity;
        std::vector<StickThreat> threats;
        std::vector<FileFacts> facts;  // of each threat, in the same order
        bool autorunFirst = false;     // threats[0] is the root's autorun.inf
        std::vector<Hidden> hidden;
    };
    enum class Look { Ready, NotReady, Changing };
    Look look(wchar_t letter, Seen& seen);
    void findShortcutWorms(wchar_t letter, std::vector<StickItem> root, const ItemLookup& below, Seen& seen);
    void addLeftovers(wchar_t letter, const ItemLookup& below, Seen& seen) const;
    Outcome act(wchar_t letter, const Seen& seen);

    // What the checks remember of the stick in a drive.
    struct Remembered {
        StickIdentity identity;
        std::set<std::wstring> left;  // threats that stayed (box shown, event written): retried quietly
        bool failureShown = false;    // its one "Hata" box
    };
    // Makes visible again the hidden items whose shortcuts were all `moved`; false when the stick
    // was pulled out meanwhile.
    bool unhide(wchar_t letter, const Seen& seen, const std::vector<bool>& moved, Remembered& remembered);
    void leave(std::wstring_view subject, std::wstring_view reason);
    // The stick's one "Hata" box, if it has not had it yet.
    void showFailure(Remembered& remembered, std::wstring_view sentence, std::wstring_view path,
                     std::wstring_view why);

    Runtime& rt_;
    DetectionSink& detections_;
    StickPort& port_;
    bool vaccinating_ = false;
    std::map<wchar_t, Remembered> sticks_;
};

// The drive's name as the boxes and events write it: "E:".
std::wstring driveName(wchar_t letter);

}  // namespace dva::stick
