#include "monitor/app/wardlet_doc.h"

#include "monitor/model/feature_settings.h"

namespace wardlet {

NotifySettings NotifySettingsFrom(const MonitorOptions& options, const MailConfig& mail,
                                  bool mailQueueActive) {
    NotifySettings notify;
    notify.soundOnChange = FlagOn(options.soundOnChange);
    notify.soundOnFailure = FlagOn(options.soundOnFailure);
    notify.selectOnChange = FlagOn(options.selectOnChange);
    notify.selectOnFailure = FlagOn(options.selectOnFailure);
    notify.openPageOnChange = FlagOn(options.openPageOnChange);
    notify.mailQueueActive = mailQueueActive;
    notify.mail = mail;
    return notify;
}

CWardletDoc::CWardletDoc(std::filesystem::path dataFolder, std::filesystem::path installFolder,
                         TransferLimits limits)
    : installFolder_(std::move(installFolder)),
      limits_(std::move(limits)),
      store_(std::move(dataFolder), table_) {}

CWardletDoc::~CWardletDoc() {
    if (engine_) engine_->Stop();
}

FolderLock CWardletDoc::LockDataFolder() {
    if (lock_.held()) return FolderLock::Held;
    if (!lock_.TryAcquire(dataFolder())) return FolderLock::InUse;
    store_.DeleteStrayFiles();  // left by a killed run; nothing else writes them while we hold it
    return FolderLock::Held;
}

void CWardletDoc::Attach(DocumentListSink& list, CheckObserver& observer) {
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer, limits_);
    store_.SetList(&list);
    store_.SetCheckStarter(engine_.get());
}

DocumentStore::LoadReport CWardletDoc::Load() {
    // The store loads a record left Retrieving by a killed run as Waiting.
    DocumentStore::LoadReport report = store_.LoadAllDocuments();
    LoadSettings();
    return report;
}

void CWardletDoc::LoadSettings() {
    options_.Set(LoadOptions(dataFolder()));
    SetMailConfig(ReadMailConfigLenient(dataFolder() / kMailConfigFile));
    conditionalRequests_.store(LoadFeatureSettings(dataFolder()).conditionalRequests);
}

bool CWardletDoc::ApplyOptions(const MonitorOptions& options) {
    options_.Set(options);
    return SaveOptions(dataFolder(), options);
}

MailConfig CWardletDoc::mailConfig() const {
    std::lock_guard guard(mailLock_);
    return mail_;
}

void CWardletDoc::SetMailConfig(const MailConfig& config) {
    std::lock_guard guard(mailLock_);
    mail_ = config;
}

void CWardletDoc::RequestStop() {
    if (engine_) engine_->RequestStop();
}

bool CWardletDoc::ChecksIdle() const {
    return !engine_ || engine_->Idle();
}

StopOutcome CWardletDoc::FinishShutdown() {
    StopOutcome outcome = ChecksIdle() ? StopOutcome::Stopped : StopOutcome::StillRunning;
    if (outcome == StopOutcome::Stopped && engine_) engine_->Stop();
    if (!finished_) {
        finished_ = true;
        store_.SaveAllDocuments();
    }
    return outcome;
}

StopOutcome CWardletDoc::Shutdown(std::chrono::milliseconds bound) {
    RequestStop();
    if (engine_) engine_->WaitIdle(bound);
    return FinishShutdown();
}

}  // namespace wardlet
