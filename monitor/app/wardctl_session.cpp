#include "monitor/app/wardctl_session.h"

#include "monitor/app/wardctl_commands.h"

namespace wardlet {

WardctlSession::WardctlSession(std::filesystem::path dataFolder, std::ostream& out,
                               std::ostream& err)
    : out(out), err(err), store_(std::move(dataFolder), table_), list_(table_) {
    store_.SetList(&list_);
}

void WardctlSession::Load() {
    if (loaded_) return;
    loaded_ = true;
    store_.LoadAllDocuments();
}

int WardctlSession::LockForWriting() {
    if (lock_.held()) return kExitOk;
    if (lock_.TryAcquire(dataFolder())) {
        store_.DeleteStrayFiles();  // no other program can be writing them now
        return kExitOk;
    }
    err << "wardctl: " << lock_.error() << '\n';
    return kExitFolderInUse;
}

int WardctlSession::NoDocument(const std::string& name) {
    err << "wardctl: no document is named \"" << name << "\".\n";
    return kExitNoDocument;
}

}  // namespace wardlet
