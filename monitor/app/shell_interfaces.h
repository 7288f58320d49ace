#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "common/atomic_file.h"
#include "common/desktop_services.h"
#include "monitor/app/command_table.h"

namespace wardlet {

// What the monitor's shell logic asks of its window, as small interfaces: the Qt window
// implements them, the tests replace them, so every rule of the shell runs without a display.
// All of them are called on the user-interface thread.

// The document list's rows, tied to records by the record's name.
class DocumentRows {
public:
    virtual ~DocumentRows() = default;
    // The record the row shows; nullopt when the row does not exist or no record has its name.
    virtual std::optional<size_t> FindRecordOfRow(size_t row) = 0;
    // The row showing the record in `index`, by exact name; nullopt when none does.
    virtual std::optional<size_t> FindRowOfRecord(size_t index) = 0;
    // Redraws the row that shows the record in `index` (image and four texts), if there is one.
    virtual void RefreshRow(size_t index) = 0;
    // Adds the row of the record to the selection; other rows keep theirs, nothing scrolls.
    virtual void SelectRowOfRecord(size_t index) = 0;
    virtual bool IsRowSelected(size_t row) = 0;
    virtual size_t SelectedCount() = 0;
    virtual size_t RowCount() = 0;
    virtual void SetAllRowsSelected(bool selected) = 0;
};

// Runs a command by its number, as a menu item would (the commands refuse a disabled one).
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual void Run(CommandId id) = 0;
};

// The view's timers, by their fixed ids; the time source tests replace.
enum class TimerId {
    PeriodicCheck = 1,
    TrayBlink = 2,
    StartupPrompt = 3,
    Mailer = 4,
    StartupCheck = 5,
    ShutdownBound = 6,  // how long the exit waits for the check threads
    NoticeFold = 7,     // when findings held back from the desktop's notifications go out
};

class ShellTimers {
public:
    virtual ~ShellTimers() = default;
    // Starts the timer (a running one starts a new period); its ticks come to OnTimer.
    virtual void Start(TimerId id, std::chrono::milliseconds period) = 0;
    virtual void Stop(TimerId id) = 0;
};

enum class TrayImage { Normal, Blank };

// The notification-area icon.
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // False when the desktop has no notification area: a hidden window could not come back.
    virtual bool Available() = 0;
    virtual void Add() = 0;
    virtual void Remove() = 0;
    virtual void SetImage(TrayImage image) = 0;
    virtual void ShowBalloon(std::string_view title, std::string_view text,
                             std::chrono::milliseconds timeout) = 0;
};

// Plays a sound file asynchronously; nullopt, a file that cannot be played or no audio device
// gives the desktop's default sound (a beep).
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void Play(const std::optional<std::filesystem::path>& file) = 0;
};

// A long copy of a stored document (Save As, Open) runs off the user-interface thread, whose
// events go on meanwhile; after kCopyProgressDelay a progress dialog shows, whose Cancel stops
// the copy.
inline constexpr std::chrono::milliseconds kCopyProgressDelay{500};
using CopyWork = std::function<CopyOutcome(const CopyProgress&)>;
class BackgroundCopies {
public:
    virtual ~BackgroundCopies() = default;
    // Runs `work` on another thread and returns its outcome once it has ended; `caption` says
    // what is being copied.
    virtual CopyOutcome Run(std::string_view caption, CopyWork work) = 0;
};

enum class StartupAnswer { AddDocument, Cancel };
// How the window ends: after a clean stop of the checks, or while a check thread is still stuck
// (the process must then end without waiting for it).
enum class ShutdownEnd { ChecksStopped, ChecksStillRunning };

// The frame and view themselves.
class ShellWindow {
public:
    virtual ~ShellWindow() = default;
    // The four columns with their headings and widths, the status images, full-row highlight.
    virtual void SetUpColumns() = 0;
    // The modal "Startup Notification" dialog.
    virtual StartupAnswer ShowStartupPrompt() = 0;
    // Shows the main window, restores it (also from the tray) and brings it to the front.
    virtual void BringForward() = 0;
    // Closes every message box still open (at exit), so no check waits for the user.
    virtual void CloseMessageBoxes() = 0;
    // Takes the main window off the screen at once, as the exit begins.
    virtual void HideForExit() = 0;
    // Ends the event loop with status 0.
    virtual void Quit(ShutdownEnd end) = 0;
    // A text in the status bar until the next one (what a check says beyond its status).
    virtual void ShowStatusText(std::string_view /*text*/) {}
};

}  // namespace wardlet
