#include "autorun_protection.h"

#include "file_removal.h"
#include "threat_table.h"

namespace dva {

void AutoRunProtection::onSwitch(SwitchState state) {
    const PathsInHand::Hold hold = inHand_ ? inHand_->hold(kAutoRunPath) : PathsInHand::Hold{};
    if (state == SwitchState::Ticked) {
        protect();
    } else if (state == SwitchState::Unticked) {
        release();
    }
}

void AutoRunProtection::protect() {
    // A folder of that name probes absent, so protection already in place does nothing here.
    const Presence seen = rt_.probe(kAutoRunPath);
    if (seen == Presence::Absent) return;

    rt_.report({EventKind::ThreatDetected, kAutoRunPath});
    rt_.message(L"AutoRun Korumasını etkileyecek bir virüs tespit edildi!", L"Virüs Bulundu!",
                MessageIcon::Warning);
    detections_.append(kAutoRunPath);
    if (!remove(seen)) return;
    // The folder keeps a new file of the same name from being created in the root.
    if (const OpResult made = rt_.makeFolder(kAutoRunPath); !made.ok()) {
        rt_.report({EventKind::AutoRunFolderNotMade, kAutoRunPath, made.error});
        reportFailure(rt_, L"Koruma klasörü oluşturulamadı: ", kAutoRunPath, made);
        return;
    }
    rt_.report({EventKind::AutoRunFolderMade, kAutoRunPath});
    rt_.message(L"Virüs Temizlenerek koruma oluşturuldu!", L"Bilgilendirme", MessageIcon::Information);
}

void AutoRunProtection::release() {
    // The folder, if any, stays: only a root file is removed, and it is not listed.
    const Presence seen = rt_.probe(kAutoRunPath);
    if (seen == Presence::Absent) return;

    if (!remove(seen)) return;
    rt_.message(L"Autorun Koruması Pasifleştirildi", L"Bilgilendirme", MessageIcon::Information);
}

bool AutoRunProtection::remove(Presence seen) {
    const OpResult removed = removeFile(rt_, kAutoRunPath, seen);
    if (removed.ok()) {
        rt_.report({EventKind::ThreatRemoved, kAutoRunPath});
        return true;
    }
    rt_.report({EventKind::ThreatNotRemoved, kAutoRunPath, removed.error});
    reportDeleteFailure(rt_, kAutoRunPath, removed);
    return false;
}

}  // namespace dva
