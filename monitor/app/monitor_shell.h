#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "common/desktop_services.h"
#include "monitor/app/desktop_alerts.h"
#include "monitor/app/shell_interfaces.h"
#include "monitor/app/wardlet_doc.h"
#include "monitor/engine/check_observer.h"

namespace wardlet {

inline constexpr char kTrayTip[] = "Wardlet";
inline constexpr char kBalloonTitle[] = "Wardlet";
inline constexpr char kBalloonText[] = "Document has been changed or unable to retrieve.";
inline constexpr std::chrono::milliseconds kBalloonTimeout{10000};
inline constexpr std::chrono::milliseconds kBlinkPeriod{500};
inline constexpr std::chrono::milliseconds kStartupPromptDelay{2000};
inline constexpr std::chrono::milliseconds kStartupCheckDelay{5000};
inline constexpr std::chrono::milliseconds kMailerPeriod{60000};
inline constexpr std::chrono::milliseconds kShutdownBound{5000};
inline constexpr char kOpeningCaption[] = "Opening the document...";

// The longest period a timer of the window holds (a signed 32-bit count of milliseconds); a
// damaged options file asking for more gets this instead of a wrapped period.
inline constexpr std::chrono::milliseconds kLongestTimerPeriod{2147483647};
std::chrono::milliseconds PeriodicTimerPeriod(const MonitorOptions& options);

// "Wardlet.sound" (a change) or "Wardlet.alert" (a failure), looked for in the data folder, then
// in the install folder, then in the shared files of an installed copy; nullopt when none has it.
std::optional<std::filesystem::path> FindSoundFile(NotifyKind kind,
                                                   const std::filesystem::path& dataFolder,
                                                   const std::filesystem::path& installFolder);

// How the main window comes up.
enum class WindowStart { Shown, Hidden, Minimized };

// The list view's rules without a display: the first update, the timers and their ticks, the
// tray alert, the mailer start, opening documents, and the exit. It is also the user-interface
// side of the checks' observer: the window carries the check threads' calls to its thread and
// hands them here.
class MonitorShell : public CheckObserver {
public:
    struct Parts {
        CWardletDoc& doc;
        DocumentRows& rows;
        ShellTimers& timers;
        TrayIcon& tray;
        SoundPlayer& sound;
        MessageBoxes& messages;
        DocumentOpener& opener;
        ProcessLauncher& launcher;
        ShellWindow& window;
        BackgroundCopies& copies;
        DesktopNotifications& notifications;
        SteadyClock& clock;
    };
    explicit MonitorShell(const Parts& parts);

    // The commands, for the start-up prompt's "Add Document >" (they are made after the shell).
    void SetCommands(CommandRunner& commands) { commands_ = &commands; }

    // Tray icon, columns, documents, options, e-mail settings, the desktop notifications'
    // setting, timers, notified documents emptied, start-up prompt timer.
    void FirstUpdate();
    // After the first update: with the hide switch the window goes to the tray (minimised
    // instead when there is no tray), unattended either way.
    WindowStart Start(bool hide);

    void OnTimer(TimerId id);
    // Re-arms the periodic and mailer timers from the options (after they were applied).
    void ApplyTimers();
    // After the options dialog's Apply: the options saved, the timers re-armed and the settings
    // the dialog wrote to "Wardlet.settings" taken. Nothing once the exit began.
    void OptionsApplied(const MonitorOptions& options);
    void StartMailer();

    // The user's attention.
    void OnMinimized() { unattended_ = true; }  // the window hides only when WindowHides()
    bool WindowHides() { return tray_.Available(); }
    void OnRestored() { unattended_ = false; }
    void OnListMouseMove() { unattended_ = false; }
    void Activate();  // tray double-click or click, balloon or notification click, "Activate"
    // The desktop notification service's signals.
    void OnNotificationAction(uint32_t id, std::string_view key);
    void OnNotificationClosed(uint32_t id) { alerts_.Closed(id); }
    const DesktopAlerts& alerts() const { return alerts_; }
    bool unattended() const { return unattended_; }
    int blinkPhase() const { return blinkPhase_; }
    int blinkCount() const { return blinkCount_; }

    // Opens the document of a row (double-click, Open) or of a record; the messages only with
    // `showMessages`. With markCheckedOnOpen the record becomes Checked.
    void OpenDocumentOfRow(size_t row, bool showMessages);
    void OpenRecord(size_t index, bool showMessages);
    // The record becomes Checked, whatever it was, and its row shows it (in memory until the exit).
    void MarkChecked(size_t index);

    // Every exit: tray icon removed and window hidden at once, checks asked to stop, events handled
    // until they are idle (at most kShutdownBound), records written, the window quits. Later calls
    // do nothing.
    void Shutdown();
    // The engine told that it became idle (carried to this thread).
    void OnChecksIdle();
    bool shuttingDown() const { return shuttingDown_; }

    // CheckObserver, on the user-interface thread. After Shutdown began only rows are updated.
    void RefreshRow(size_t index) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;
    void SelectRowOfRecord(size_t index) override;
    void PlaySound(NotifyKind kind) override;
    // Blinks the tray and tells the desktop's notifications, while the window is unattended.
    void TrayAlert(size_t index, NotifyKind kind, std::optional<ChangedLineCount> lines) override;
    void ShowMessage(std::string_view text) override;
    void CheckNote(size_t index, std::string_view text) override;
    // The automatic opening of a changed web document, quiet, when it still has a row.
    void OpenDocument(size_t index) override;

private:
    // With WARDLET_DEBUG: the mailer and sound files this copy uses, for a user or an install test.
    void LogWhereFilesAre();
    void BlinkTick();
    void StartupPrompt();
    void FinishShutdown();

    CWardletDoc& doc_;
    DocumentRows& rows_;
    ShellTimers& timers_;
    TrayIcon& tray_;
    SoundPlayer& sound_;
    MessageBoxes& messages_;
    DocumentOpener& opener_;
    ProcessLauncher& launcher_;
    ShellWindow& window_;
    BackgroundCopies& copies_;
    DesktopAlerts alerts_;

    bool unattended_ = false;
    int blinkPhase_ = 0;
    int blinkCount_ = 0;
    // The balloon names the change when one alone was found while unattended.
    size_t balloonFindings_ = 0;
    std::string balloonText_;
    bool periodicRunning_ = false;
    bool mailerFailureOpen_ = false;
    CommandRunner* commands_ = nullptr;
    bool shuttingDown_ = false;
    bool finished_ = false;
};

}  // namespace wardlet
