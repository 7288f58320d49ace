#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "monitor/model/document_record.h"

namespace wardlet {

// The two findings a check announces.
enum class NotifyKind { Changed = 2, Unavailable = 3 };

// Everything a check hands to the window; the window, wardctl and the tests implement it. Unless a
// call says otherwise it is made on a check thread, and a window must carry it to its
// user-interface thread and wait there for it to finish. QueueAllForCheck and CheckSelected run on
// the caller's thread (the user-interface thread in the window) and call FindRowOfRecord and
// RefreshRow directly from it, so those two must not wait for that thread when they are already on
// it.
// The lines a change of text added and removed.
struct ChangedLineCount {
    size_t added = 0, removed = 0;
};

class CheckObserver {
public:
    virtual ~CheckObserver() = default;

    // Redraws the row of the record in `index` (icon, type, status, last check), if it has one.
    // The one call a window need not wait for: it may hold it, painting it before the next call
    // that follows it and by the time the checks are idle.
    virtual void RefreshRow(size_t index) = 0;
    // The row that shows the record in `index`, found by its exact name; nullopt when none.
    virtual std::optional<size_t> FindRowOfRecord(size_t index) = 0;
    // Adds the row of the record in `index` to the selection, if it has a row; other rows keep
    // their selection and the list is neither scrolled nor focused. Done before it returns.
    virtual void SelectRowOfRecord(size_t index) = 0;
    // Plays "Wardlet.sound" (Changed) or "Wardlet.alert" (Unavailable) and returns at once;
    // a missing file plays the default sound.
    virtual void PlaySound(NotifyKind kind) = 0;
    // Starts the tray alert (blinking, a desktop notification) when the main window is hidden;
    // called after every announcement, with the record, what was found and, for a change of
    // text, its line counts.
    virtual void TrayAlert(size_t index, NotifyKind kind,
                           std::optional<ChangedLineCount> lines) = 0;
    // Shows an information message box with `text` modally; the check thread waits for it while
    // the other threads go on. Only the first check of the middle method shows one.
    virtual void ShowMessage(std::string_view text) = 0;
    // Opens the changed document in `index` (a record, not a row: a sort or delete in between
    // must not open another document) with the user's default handler, quietly (no message
    // boxes), when it still has a row; with markCheckedOnOpen the window then sets the record
    // Checked and refreshes its row.
    virtual void OpenDocument(size_t index) = 0;
    // A check of the record in `index` has ended; `record` is the record as the check left it.
    // For reports such as wardctl's lines; the window needs nothing here.
    virtual void CheckEnded(size_t /*index*/, const DocumentRecord& /*record*/) {}
    // Something the user should read about the check of the record in `index` that its status
    // does not say (its filters cannot be read, its selector found nothing), as "NAME: what":
    // for a status-bar text or a report line. Returns at once.
    virtual void CheckNote(size_t /*index*/, std::string_view /*text*/) {}
};

// An observer that hands every call to `target` through Relay, which runs it where the target
// lives (the user-interface thread, for a window) and returns once it ran. The window's and the
// tests' observers only say how a call travels. CheckEnded is not handed on: the window needs
// nothing there, and a hop per check would cost the pass.
class RelayingObserver : public CheckObserver {
public:
    explicit RelayingObserver(CheckObserver& target) : target_(target) {}

    void RefreshRow(size_t index) override {
        Relay([&] { target_.RefreshRow(index); });
    }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        std::optional<size_t> row;
        Relay([&] { row = target_.FindRowOfRecord(index); });
        return row;
    }
    void SelectRowOfRecord(size_t index) override {
        Relay([&] { target_.SelectRowOfRecord(index); });
    }
    void PlaySound(NotifyKind kind) override {
        Relay([&] { target_.PlaySound(kind); });
    }
    void TrayAlert(size_t index, NotifyKind kind, std::optional<ChangedLineCount> lines) override {
        Relay([&] { target_.TrayAlert(index, kind, lines); });
    }
    void ShowMessage(std::string_view text) override {
        Relay([&] { target_.ShowMessage(text); });
    }
    void OpenDocument(size_t index) override {
        Relay([&] { target_.OpenDocument(index); });
    }
    void CheckNote(size_t index, std::string_view text) override {
        Relay([&] { target_.CheckNote(index, text); });
    }

protected:
    CheckObserver& target() { return target_; }
    // Runs `call` where the target lives and returns when it has run.
    virtual void Relay(const std::function<void()>& call) = 0;

private:
    CheckObserver& target_;
};

// The only message a check shows.
inline constexpr char kMiddleStringsMissing[] =
    "Cannot find the specified strings from document content.";

}  // namespace wardlet
