#include "monitor/app/wardlet_doc.h"

#include <system_error>

#include "common/little_endian.h"
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

void CWardletDoc::Attach(CheckObserver& observer, ChecksAfterChanges after) {
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer, limits_);
    store_.SetList(&rows_);
    if (after == ChecksAfterChanges::Start) store_.SetCheckStarter(engine_.get());
}

DocumentStore::LoadReport CWardletDoc::Load() {
    DocumentStore::LoadReport report = LoadDocuments();
    LoadSettings();
    return report;
}

DocumentStore::LoadReport CWardletDoc::LoadDocuments() {
    // The store loads a record left Retrieving by a killed run as Waiting.
    return store_.LoadAllDocuments();
}

std::filesystem::path CWardletDoc::StoredCopyOf(size_t slot) {
    store_.FlushPendingWritesOf(slot);
    return store_.ContentFile(table_.Name(slot));
}

FiltersLoad CWardletDoc::FiltersOf(size_t slot) const {
    return LoadDocumentFilters(store_.FiltersOf(FieldText(table_.Get(slot).name)));
}

bool CWardletDoc::HasStoredCopy(size_t slot) const {
    std::error_code error;
    return std::filesystem::symlink_status(store_.ContentFile(table_.Name(slot)), error).type() ==
           std::filesystem::file_type::regular;
}

std::filesystem::path CWardletDoc::MiddleExtractOf(size_t slot) {
    store_.FlushPendingWritesOf(slot);
    return store_.MiddleFile(table_.Name(slot));
}

void CWardletDoc::MarkChecked(const std::vector<size_t>& slots) {
    // Only the records whose status changes are written: a record already Checked is on disk
    // as it would be written, and every rewrite costs the file system a new file.
    std::vector<size_t> marked;
    for (size_t slot : slots)
        table_.Modify(slot, [&](DocumentRecord& r) {
            if (StatusOf(r) == DocumentStatus::Checked) return;
            SetStatus(r, DocumentStatus::Checked);
            marked.push_back(slot);
        });
    for (size_t slot : marked)
        rows_.RefreshRow(slot);
    store_.SaveDocuments(marked);
}

void CWardletDoc::MarkNotifiedDocumentsChecked() {
    if (!engine_) return;
    MarkChecked(engine_->mail().TakeNotifiedDocuments([&](size_t slot) {
        return slot < table_.size() && rows_.FindRowOfRecord(slot).has_value();
    }));
}

void CWardletDoc::ClearNotifiedDocuments() {
    if (engine_) engine_->mail().ClearNotifiedDocuments();
}

std::vector<size_t> CWardletDoc::NotifiedDocuments() const {
    return engine_ ? engine_->mail().NotifiedDocuments() : std::vector<size_t>{};
}

bool CWardletDoc::QueueMailEntry(size_t slot, NotifyKind kind) {
    if (!engine_) return false;
    size_t chunk = DocumentTable::kChunkSlots;
    size_t capacity = (table_.size() + chunk - 1) / chunk * chunk;
    return engine_->mail().QueueEntry(slot, table_.Get(slot), kind, settings_.Notification(),
                                      capacity);
}

void CWardletDoc::CheckAll() {
    if (engine_) engine_->QueueAllForCheck();
}

void CWardletDoc::CheckSelected(const std::vector<size_t>& slots) {
    if (engine_) engine_->CheckSelected(slots);
}

void CWardletDoc::SetChecksIdleCallback(std::function<void()> callback) {
    if (engine_) engine_->SetIdleCallback(std::move(callback));
}

bool CWardletDoc::WaitForChecks(const std::function<bool()>& interrupted) {
    if (!engine_) return false;
    bool stopped = false;
    while (!engine_->WaitIdle(std::chrono::milliseconds(100))) {
        if (!stopped && interrupted && interrupted()) {
            stopped = true;
            engine_->RequestStop();  // transfers end within about a second
        }
    }
    return stopped;
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

void CWardletDoc::StopChecks() {
    if (engine_) engine_->Stop();
}

bool CWardletDoc::ChecksIdle() const {
    return !engine_ || engine_->Idle();
}

StopOutcome CWardletDoc::FinishShutdown() {
    StopOutcome outcome = ChecksIdle() ? StopOutcome::Stopped : StopOutcome::StillRunning;
    if (outcome == StopOutcome::Stopped && engine_) engine_->Stop();
    if (!finished_) {
        finished_ = true;
        store_.SaveAllDocumentsAtExit();
    }
    // Checks left running may have queued results since: what they finished goes in too.
    if (outcome == StopOutcome::StillRunning) store_.FlushPendingWrites();
    return outcome;
}

StopOutcome CWardletDoc::Shutdown(std::chrono::milliseconds bound) {
    RequestStop();
    if (engine_) engine_->WaitIdle(bound);
    return FinishShutdown();
}

}  // namespace wardlet
