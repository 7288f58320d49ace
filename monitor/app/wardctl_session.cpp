#include "monitor/app/wardctl_session.h"

#include "monitor/app/wardctl_commands.h"

namespace wardlet {

WardctlSession::WardctlSession(std::filesystem::path dataFolder, std::ostream& out,
                               std::ostream& err)
    : out(out), err(err), doc_(std::move(dataFolder), {}) {
    doc_.Attach(observer_, ChecksAfterChanges::Leave);
}

void WardctlSession::Load() {
    if (loaded_) return;
    loaded_ = true;
    (void)doc_.LoadDocuments();
}

int WardctlSession::LockForWriting() {
    // Taking it also clears what a killed run left behind.
    if (doc_.LockDataFolder() == FolderLock::Held) return kExitOk;
    err << "wardctl: " << doc_.lockError() << '\n';
    return kExitFolderInUse;
}

int WardctlSession::NoDocument(const std::string& name) {
    err << "wardctl: no document is named \"" << name << "\".\n";
    return kExitNoDocument;
}

}  // namespace wardlet
