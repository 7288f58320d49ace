#include "monitor/app/monitor_shell.h"

#include <algorithm>
#include <system_error>

#include "common/debug_log.h"
#include "common/folders.h"
#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "common/mailer_launch.h"
#include "monitor/app/open_target.h"
#include "monitor/model/feature_settings.h"

namespace wardlet {

std::chrono::milliseconds PeriodicTimerPeriod(const MonitorOptions& options) {
    return std::min(PeriodicCheckInterval(options), kLongestTimerPeriod);
}

std::optional<std::filesystem::path> FindSoundFile(NotifyKind kind,
                                                   const std::filesystem::path& dataFolder,
                                                   const std::filesystem::path& installFolder) {
    const char* name = kind == NotifyKind::Changed ? "Wardlet.sound" : "Wardlet.alert";
    for (const auto& folder : {dataFolder, installFolder, SharedFilesFolder(installFolder)}) {
        std::error_code error;
        auto file = folder / name;
        if (std::filesystem::is_regular_file(file, error)) return file;
    }
    return std::nullopt;
}

MonitorShell::MonitorShell(const Parts& parts)
    : doc_(parts.doc),
      rows_(parts.rows),
      timers_(parts.timers),
      tray_(parts.tray),
      sound_(parts.sound),
      messages_(parts.messages),
      opener_(parts.opener),
      launcher_(parts.launcher),
      window_(parts.window),
      copies_(parts.copies),
      alerts_(parts.notifications, parts.clock, parts.timers) {}

void MonitorShell::FirstUpdate() {
    LogWhereFilesAre();
    tray_.Add();
    window_.SetUpColumns();
    doc_.Load();
    alerts_.SetEnabled(LoadFeatureSettings(doc_.dataFolder()).desktopNotifications);
    // Copies opened by an earlier run that a viewer may still show are kept for a day.
    DeleteOpenedCopies(doc_.dataFolder(), kOpenedCopyLifetime);
    MonitorOptions options = doc_.options();
    if (FlagOn(options.startupCheck)) timers_.Start(TimerId::StartupCheck, kStartupCheckDelay);
    periodicRunning_ = FlagOn(options.periodicCheck);
    if (periodicRunning_) timers_.Start(TimerId::PeriodicCheck, PeriodicTimerPeriod(options));
    doc_.SetMailTimerActive(FlagOn(options.sendEmail));
    if (doc_.mailTimerActive()) timers_.Start(TimerId::Mailer, kMailerPeriod);
    doc_.ClearNotifiedDocuments();
    timers_.Start(TimerId::StartupPrompt, kStartupPromptDelay);
}

void MonitorShell::LogWhereFilesAre() {
    if (!DebugLogOn()) return;  // no file lookups at a normal start
    std::error_code error;
    auto mailer = doc_.installFolder() / kMailerProgram;
    DebugLog("mailer: " + mailer.string() +
             (std::filesystem::is_regular_file(mailer, error) ? "" : " (missing)"));
    for (NotifyKind kind : {NotifyKind::Changed, NotifyKind::Unavailable}) {
        auto sound = FindSoundFile(kind, doc_.dataFolder(), doc_.installFolder());
        DebugLog(std::string(kind == NotifyKind::Changed ? "change" : "failure") +
                 " sound: " + (sound ? sound->string() : "(the desktop's beep)"));
    }
}

WindowStart MonitorShell::Start(bool hide) {
    unattended_ = hide;
    if (!hide) return WindowStart::Shown;
    return tray_.Available() ? WindowStart::Hidden : WindowStart::Minimized;
}

void MonitorShell::OnTimer(TimerId id) {
    switch (id) {
        case TimerId::PeriodicCheck:
            if (!shuttingDown_) doc_.CheckAll();
            return;
        case TimerId::TrayBlink:
            return BlinkTick();
        case TimerId::StartupPrompt:
            timers_.Stop(id);
            return StartupPrompt();
        case TimerId::Mailer:
            return StartMailer();
        case TimerId::StartupCheck:
            timers_.Stop(id);
            if (!shuttingDown_) doc_.CheckAll();
            return;
        case TimerId::ShutdownBound:
            timers_.Stop(id);
            return FinishShutdown();
        case TimerId::NoticeFold:
            timers_.Stop(id);
            if (!shuttingDown_) alerts_.OnFoldTimer();
            return;
    }
}

void MonitorShell::StartupPrompt() {
    if (shuttingDown_ || rows_.RowCount() != 0) return;
    if (window_.ShowStartupPrompt() == StartupAnswer::AddDocument && commands_ && !shuttingDown_)
        commands_->Run(CommandId::Add);
}

void MonitorShell::ApplyTimers() {
    MonitorOptions options = doc_.options();
    if (FlagOn(options.periodicCheck)) {
        if (periodicRunning_) timers_.Stop(TimerId::PeriodicCheck);
        timers_.Start(TimerId::PeriodicCheck, PeriodicTimerPeriod(options));
        periodicRunning_ = true;
    } else {
        if (periodicRunning_) timers_.Stop(TimerId::PeriodicCheck);
        periodicRunning_ = false;
    }
    if (FlagOn(options.sendEmail)) {
        timers_.Start(TimerId::Mailer, kMailerPeriod);
        doc_.SetMailTimerActive(true);
    } else {
        if (doc_.mailTimerActive()) timers_.Stop(TimerId::Mailer);
        doc_.SetMailTimerActive(false);
    }
}

void MonitorShell::OptionsApplied(const MonitorOptions& options) {
    if (shuttingDown_) return;
    // A file that cannot be written is silent; the options in memory still hold for the run.
    (void)doc_.ApplyOptions(options);
    ApplyTimers();
    alerts_.SetEnabled(LoadFeatureSettings(doc_.dataFolder()).desktopNotifications);
}

void MonitorShell::StartMailer() {
    if (shuttingDown_ || !MailQueueExists(doc_.dataFolder())) return;
    if (StartMailerProgram(launcher_, doc_.installFolder(), MailerMode::Normal) ==
        MailerStart::Failed) {
        // The box is modal and the timer ticks on meanwhile: one box at a time, not one a minute.
        if (mailerFailureOpen_) return;
        mailerFailureOpen_ = true;
        messages_.Show(kCannotExecuteMailer, MessageIcon::Stop);
        mailerFailureOpen_ = false;
        return;
    }
    if (!FlagOn(doc_.mailConfig().markNotifiedChecked)) return;
    doc_.MarkNotifiedDocumentsChecked();
}

void MonitorShell::BlinkTick() {
    if (!unattended_) {
        timers_.Stop(TimerId::TrayBlink);
        tray_.SetImage(TrayImage::Normal);
        blinkCount_ = 0;
        balloonFindings_ = 0;
        balloonText_.clear();
        return;
    }
    if (blinkPhase_ == 0) {
        tray_.SetImage(TrayImage::Blank);
    } else if (blinkCount_ == 0) {
        tray_.SetImage(TrayImage::Normal);
        tray_.ShowBalloon(kBalloonTitle, balloonText_.empty() ? kBalloonText : balloonText_,
                          kBalloonTimeout);
        blinkCount_ = 1;
    } else if (blinkCount_ <= 25) {
        tray_.SetImage(TrayImage::Normal);
        ++blinkCount_;
    } else {
        tray_.Remove();
        tray_.Add();
        blinkCount_ = 0;
    }
    blinkPhase_ = 1 - blinkPhase_;
}

void MonitorShell::Activate() {
    window_.BringForward();
    unattended_ = false;
}

void MonitorShell::OnNotificationAction(uint32_t id, std::string_view key) {
    if (shuttingDown_) return;
    auto request = alerts_.ActionInvoked(id, key);
    if (!request) return;
    if (request->command == NoticeCommand::BringForward) return Activate();
    // By name: the document may have been sorted, moved or deleted since it was announced.
    size_t index = doc_.FindDocument(request->documentName);
    if (index == DocumentTable::kNoSlot) return;
    if (request->command == NoticeCommand::Open) return OpenRecord(index, true);
    // The change view is the command on the selection, over the window: that document alone is
    // selected and the window comes forward first.
    Activate();
    rows_.SetAllRowsSelected(false);
    rows_.SelectRowOfRecord(index);
    if (commands_) commands_->Run(CommandId::ShowChanges);
}

void MonitorShell::OpenDocumentOfRow(size_t row, bool showMessages) {
    if (auto index = rows_.FindRecordOfRow(row)) OpenRecord(*index, showMessages);
}

void MonitorShell::OpenRecord(size_t index, bool showMessages) {
    const DocumentTable& table = doc_.documents();
    if (index >= table.size() || table.IsFree(index)) return;
    DocumentRecord record = table.Get(index);
    OpenTarget target{OpenTarget::Kind::NoTempName, {}, {}, {}, {}};
    CopyOutcome copied = CopyOutcome::Done;
    if (TypeOf(record) == DocumentType::WebPage) {
        target = PrepareOpenTarget(record, doc_.dataFolder());
    } else {
        // Off this thread: a check that just ended may still have its new copy on the way into
        // ".content" (the writer's flush), and the copy of a large file takes long.
        std::filesystem::path folder = doc_.dataFolder();
        copied = copies_.Run(kOpeningCaption, [&](const CopyProgress& progress) {
            doc_.FinishPendingWritesOf(index);
            target = PrepareOpenTarget(record, folder);
            return target.kind == OpenTarget::Kind::File ? MakeOpenedCopy(target, progress)
                                                         : CopyOutcome::Done;
        });
    }
    switch (target.kind) {
        case OpenTarget::Kind::Url:
            opener_.OpenUrl(target.url);
            break;
        case OpenTarget::Kind::File:
            if (copied != CopyOutcome::Done) return;  // nothing was opened, nothing counts as seen
            opener_.OpenFile(target.file);
            break;
        case OpenTarget::Kind::NotDownloaded:
            if (showMessages) messages_.Show(kNotDownloadedYet, MessageIcon::Information);
            return;
        case OpenTarget::Kind::InvalidLocation:
            if (showMessages) messages_.Show(kInvalidLocation, MessageIcon::Exclamation);
            return;
        case OpenTarget::Kind::NoTempName:
        case OpenTarget::Kind::CopyFailed:
            // Nothing was opened, so nothing counts as seen.
            return;
    }
    if (FlagOn(doc_.options().markCheckedOnOpen)) MarkChecked(index);
}

void MonitorShell::MarkChecked(size_t index) {
    doc_.MarkChecked({index});
}

void MonitorShell::Shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    for (TimerId id : {TimerId::PeriodicCheck, TimerId::TrayBlink, TimerId::StartupPrompt,
                       TimerId::Mailer, TimerId::StartupCheck})
        timers_.Stop(id);
    alerts_.Stop();
    tray_.Remove();
    // Stopping the checks may take seconds; a window still up and usable would look hung.
    window_.HideForExit();
    doc_.RequestStop();
    // A check may wait for an open message box; it must not wait for a user who is leaving.
    window_.CloseMessageBoxes();
    if (doc_.ChecksIdle()) return FinishShutdown();
    timers_.Start(TimerId::ShutdownBound, kShutdownBound);
}

void MonitorShell::OnChecksIdle() {
    if (shuttingDown_ && doc_.ChecksIdle()) FinishShutdown();
}

void MonitorShell::FinishShutdown() {
    if (finished_) return;
    finished_ = true;
    timers_.Stop(TimerId::ShutdownBound);
    StopOutcome outcome = doc_.FinishShutdown();
    DeleteOpenedCopies(doc_.dataFolder());
    window_.Quit(outcome == StopOutcome::Stopped ? ShutdownEnd::ChecksStopped
                                                 : ShutdownEnd::ChecksStillRunning);
}

void MonitorShell::RefreshRow(size_t index) {
    rows_.RefreshRow(index);
}

std::optional<size_t> MonitorShell::FindRowOfRecord(size_t index) {
    return rows_.FindRowOfRecord(index);
}

void MonitorShell::SelectRowOfRecord(size_t index) {
    if (!shuttingDown_) rows_.SelectRowOfRecord(index);
}

void MonitorShell::PlaySound(NotifyKind kind) {
    if (!shuttingDown_) sound_.Play(FindSoundFile(kind, doc_.dataFolder(), doc_.installFolder()));
}

void MonitorShell::TrayAlert(size_t index, NotifyKind kind, std::optional<ChangedLineCount> lines) {
    if (shuttingDown_ || !unattended_) return;
    // Without a tray the blinking would go to an icon nobody sees.
    bool trayPresent = tray_.Available();
    if (trayPresent) timers_.Start(TimerId::TrayBlink, kBlinkPeriod);
    const DocumentTable& table = doc_.documents();
    if (index >= table.size() || table.IsFree(index)) return;
    DocumentFinding finding{index, table.Name(index), kind,
                            kind == NotifyKind::Changed ? lines : std::nullopt};
    ++balloonFindings_;
    balloonText_ = balloonFindings_ == 1 ? NoticeComposer::BalloonFor(finding) : std::string();
    alerts_.Announce(finding, trayPresent);
}

void MonitorShell::ShowMessage(std::string_view text) {
    if (!shuttingDown_) messages_.Show(text, MessageIcon::Information);
}

void MonitorShell::CheckNote(size_t, std::string_view text) {
    if (!shuttingDown_) window_.ShowStatusText(text);
}

void MonitorShell::OpenDocument(size_t index) {
    if (!shuttingDown_ && rows_.FindRowOfRecord(index)) OpenRecord(index, false);
}

}  // namespace wardlet
