#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "common/data_lock.h"
#include "common/mail_config.h"
#include "monitor/app/options.h"
#include "monitor/engine/check_engine.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/model/document_store.h"
#include "monitor/model/document_table.h"

namespace wardlet {

// What a check announces, from the options, the e-mail configuration in force and whether the
// mailer timer runs. The one place where options become engine settings.
NotifySettings NotifySettingsFrom(const MonitorOptions& options, const MailConfig& mail,
                                  bool mailQueueActive);

enum class [[nodiscard]] FolderLock{Held, InUse};
enum class [[nodiscard]] StopOutcome{Stopped, StillRunning};

// The monitor's document object, without a display: the document table and its store, the
// options and the e-mail configuration in force, the check engine with its mail notifier, and
// the data-folder lock. The window and wardctl are its clients.
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

    // Connects the list and the observer of the checks; creates the engine. Once, before Load.
    void Attach(DocumentListSink& list, CheckObserver& observer);

    // The documents (one row each, no check started), then the options (the defaults written
    // when the file is missing), then the e-mail configuration.
    DocumentStore::LoadReport Load();
    // The options, the e-mail configuration and the feature settings the engine uses (the part
    // of Load after the documents).
    void LoadSettings();

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
    DocumentTable& table() { return table_; }
    DocumentStore& store() { return store_; }
    CheckEngine& engine() { return *engine_; }
    EngineSettings& engineSettings() { return settings_; }

    // Exit in two steps for a window, whose observer makes check threads wait for it: ask the
    // checks to stop, keep handling events until the engine is idle (or a bound passed), then
    // FinishShutdown.
    void RequestStop();
    bool ChecksIdle() const;
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
