#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "monitor/engine/check_observer.h"

namespace wardlet {

// What one desktop notification tells about one check. The texts and actions of a notification
// are made from this alone, so a later detail of the finding is one more field here.
struct DocumentFinding {
    size_t index = 0;  // the record's slot when it was found
    std::string name;
    NotifyKind kind = NotifyKind::Changed;
    // A change of text: the lines added and removed since the version before; none for a first
    // copy, a binary document or a failure.
    std::optional<ChangedLineCount> lines = std::nullopt;
};

// What an action of a notification asks the window to do.
enum class NoticeCommand { BringForward, Open, ShowChanges };

struct NoticeAction {
    std::string key;    // the protocol's action key; "default" is a click on the notification
    std::string label;  // shown on its button
    NoticeCommand command;
};

// One notification as the desktop's notification service is asked to show it.
struct DesktopNotice {
    std::string body;
    // Sent only where the service has the "actions" capability.
    std::vector<NoticeAction> actions;
    // The notification this one takes the place of; 0 for a new one.
    uint32_t replacesId = 0;
    // The document that the Open and Show Changes actions act on; empty for a folded notice.
    std::string documentName;
};

inline constexpr char kNoticeAppName[] = "Wardlet";
inline constexpr char kNoticeSummary[] = "Wardlet";
inline constexpr char kNoticeIcon[] = "wardlet";          // the installed theme icon
inline constexpr char kNoticeDesktopEntry[] = "wardlet";  // wardlet.desktop

// The texts and actions of the notifications, without a display.
class NoticeComposer {
public:
    // "Changed: NAME" ("Changed: NAME (+A -R lines)" with line counts) or "Unable to retrieve:
    // NAME"; a click brings the window forward, "Open" opens the document and, for a change,
    // "Show Changes" shows what changed.
    static DesktopNotice ForFinding(const DocumentFinding& finding);
    // "N documents changed", for a burst too many to show one by one; a click brings the window
    // forward.
    static DesktopNotice ForFold(size_t count);
    // The tray balloon of one change with line counts: "NAME has changed: A lines added, R
    // removed."; empty without counts (the balloon keeps its usual text).
    static std::string BalloonFor(const DocumentFinding& finding);
};

// The freedesktop notification service, as the alert rules use it.
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    // Shows `notice` (app name, summary, icon and desktop entry above); the service's id of the
    // notification, or 0 when none could be shown (no session bus, no service).
    virtual uint32_t Show(const DesktopNotice& notice) = 0;
};

// The time source of the rules that count time; tests replace it.
class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual std::chrono::steady_clock::time_point Now() = 0;
};

class SystemSteadyClock : public SteadyClock {
public:
    std::chrono::steady_clock::time_point Now() override {
        return std::chrono::steady_clock::now();
    }
};

}  // namespace wardlet
