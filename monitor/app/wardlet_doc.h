#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/data_lock.h"
#include "common/mail_config.h"
#include "monitor/app/document_row_list.h"
#include "monitor/changes/change_view.h"
#include "monitor/engine/check_engine.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/model/document_store.h"
#include "monitor/model/document_table.h"
#include "monitor/model/options.h"

namespace wardlet {

// What a check announces, from the options, the e-mail configuration in force and whether the
// mailer timer runs. The one place where options become engine settings.
NotifySettings NotifySettingsFrom(const MonitorOptions& options, const MailConfig& mail,
                                  bool mailQueueActive);

enum class [[nodiscard]] FolderLock{Held, InUse};
enum class [[nodiscard]] StopOutcome{Stopped, StillRunning};
// Whether adding or editing a document starts the check threads (the window) or leaves the
// checks to an explicit pass (wardctl).
enum class ChecksAfterChanges { Start, Leave };

// The monitor's document object, without a display: the document table, its store and its rows,
// the options and the e-mail configuration in force, the check engine with its mail notifier,
// and the data-folder lock. The window, its commands and wardctl reach the documents only
// through it, so each rule (what is saved when, what starts a check) is kept once.
class CWardletDoc {
public:
    CWardletDoc(std::filesystem::path dataFolder, std::filesystem::path installFolder,
                TransferLimits limits = TransferLimits::FromEnvironment());
    // Joins the check threads: the owner ends them first (Shutdown, or StopChecks and an idle
    // engine) when an observer could be waiting for the owner's thread.
    ~CWardletDoc();
    CWardletDoc(const CWardletDoc&) = delete;
    CWardletDoc& operator=(const CWardletDoc&) = delete;

    // Held for the rest of the object's life; InUse when another program holds it.
    FolderLock LockDataFolder();
    const std::string& lockError() const { return lock_.error(); }

    // Connects the observer of the checks and creates the engine. Once, before Load.
    void Attach(CheckObserver& observer, ChecksAfterChanges after = ChecksAfterChanges::Start);

    // The documents (one row each, no check started), then the options (the defaults written
    // when the file is missing), then the e-mail configuration.
    DocumentStore::LoadReport Load();
    // The documents alone.
    DocumentStore::LoadReport LoadDocuments();
    // The options, the e-mail configuration and the feature settings the engine uses (the part
    // of Load after the documents).
    void LoadSettings();
    // A pass is coming: the engine reads what its first check needs meanwhile (after Attach).
    void PrepareChecks() {
        if (engine_) engine_->PrepareChecks();
    }

    // The documents, read-only: the slots of the table and the rows of the list.
    const DocumentTable& documents() const { return table_; }
    DocumentRowList& rows() { return rows_; }
    DocumentRecord Record(size_t slot) const { return table_.Get(slot); }
    // The slot of the document with this exact name; DocumentTable::kNoSlot when none has it.
    size_t FindDocument(std::string_view name) const { return table_.FindByName(name); }
    std::filesystem::path DataFile(std::string_view name) const { return store_.DataFile(name); }
    // The stored copy and the middle extract of a document, with its check's pending writes
    // done first, so that a viewer sees the newest.
    std::filesystem::path StoredCopyOf(size_t slot);
    void FinishPendingWritesOf(size_t slot) { store_.FlushPendingWritesOf(slot); }
    void FinishPendingWrites() { store_.FlushPendingWrites(); }
    std::filesystem::path MiddleExtractOf(size_t slot);
    const TransferLimits& transferLimits() const { return limits_; }
    // The kept versions of a document and the changes between them, read from its files.
    ChangeView ChangesOf(size_t slot) const { return ChangeView(store_, table_.Get(slot)); }
    // A stored copy of the document is on disk (a regular file, not a link).
    bool HasStoredCopy(size_t slot) const;

    // Add, Copy, Edit and Delete, as the store does them (and a check started after the first
    // two when the checks follow changes).
    // With `filters` the document gets them (see DocumentStore).
    size_t AddDocument(const DocumentRecord& staged, const DocumentFilters* filters = nullptr) {
        return store_.AddDocument(staged, filters);
    }
    [[nodiscard]] EditOutcome EditDocument(size_t slot, const DocumentRecord& staged,
                                           const DocumentFilters* filters = nullptr) {
        return store_.EditDocument(slot, staged, filters);
    }
    // The filters of the document in `slot`, as its file holds them.
    FiltersLoad FiltersOf(size_t slot) const;
    void DeleteDocuments(const std::vector<std::string>& names) { store_.DeleteDocuments(names); }
    // Mark as Checked: records not Checked yet become Checked, their rows are redrawn, and they
    // are written at once (in one batch), so a crash cannot bring back an alert already seen.
    void MarkChecked(const std::vector<size_t>& slots);
    // After the mailer was started: the documents it notified about that are still listed are
    // marked as checked; the others wait for their rows.
    void MarkNotifiedDocumentsChecked();
    void ClearNotifiedDocuments();
    std::vector<size_t> NotifiedDocuments() const;
    // Queues the e-mail entry of a finding about the document as a check does (while the mailer
    // timer runs); false when nothing was queued.
    bool QueueMailEntry(size_t slot, NotifyKind kind);
    // Every record written back, as the run's last save.
    void SaveAllDocumentsAtExit() { store_.SaveAllDocumentsAtExit(); }

    // Check All and Check Selected: queued for the check threads, which run in the background.
    void CheckAll();
    void CheckSelected(const std::vector<size_t>& slots);
    // Called on a check thread when the last check of a pass ended.
    void SetChecksIdleCallback(std::function<void()> callback);
    // Waits until every queued check ended; when `interrupted` (polled a few times a second)
    // turns true, the checks are asked to stop and waited for all the same. True when it did.
    bool WaitForChecks(const std::function<bool()>& interrupted = {});

    MonitorOptions options() const { return options_.Get(); }
    // Takes applied options into use and writes them; false when the file could not be written.
    [[nodiscard]] bool ApplyOptions(const MonitorOptions& options);
    MailConfig mailConfig() const;
    void SetMailConfig(const MailConfig& config);
    // Follows the mailer timer: e-mail entries are queued only while it runs.
    void SetMailTimerActive(bool active) { mailTimerActive_.store(active); }
    bool mailTimerActive() const { return mailTimerActive_.load(); }

    const std::filesystem::path& dataFolder() const { return store_.dataFolder(); }
    const std::filesystem::path& installFolder() const { return installFolder_; }

    // Exit in two steps for a window, whose observer makes check threads wait for it: ask the
    // checks to stop, keep handling events until the engine is idle (or a bound passed), then
    // FinishShutdown.
    void RequestStop();
    bool ChecksIdle() const;
    // Joins the check threads (ended or asked to stop first); nothing is written.
    void StopChecks();
    // Joins the checks when they ended, then writes every record (Retrieving as Waiting). With
    // checks still running it writes anyway and leaves them: the process must end without
    // waiting for them.
    StopOutcome FinishShutdown();
    // Both steps for an owner nobody waits for (wardctl, tests): waits at most `bound`.
    StopOutcome Shutdown(std::chrono::milliseconds bound = std::chrono::seconds(5));

private:
    class Settings : public EngineSettings {
    public:
        explicit Settings(CWardletDoc& doc) : doc_(doc) {}
        int32_t CorrectedThreadCount() override { return doc_.options_.CorrectedThreadCount(); }
        NotifySettings Notification() override {
            return NotifySettingsFrom(doc_.options(), doc_.mailConfig(), doc_.mailTimerActive());
        }
        bool ConditionalRequests() override { return doc_.conditionalRequests_.load(); }

    private:
        CWardletDoc& doc_;
    };

    std::filesystem::path installFolder_;
    TransferLimits limits_;
    DocumentTable table_;
    DocumentStore store_;
    DocumentRowList rows_{table_};
    OptionsHolder options_;
    mutable std::mutex mailLock_;
    MailConfig mail_{};
    std::atomic<bool> mailTimerActive_{false};
    std::atomic<bool> conditionalRequests_{true};  // from Wardlet.settings
    Settings settings_{*this};
    std::unique_ptr<CheckEngine> engine_;
    DataFolderLock lock_;
    bool finished_ = false;
};

}  // namespace wardlet
