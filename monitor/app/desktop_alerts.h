#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/app/desktop_notice.h"
#include "monitor/app/shell_interfaces.h"

namespace wardlet {

// A burst: findings within kFoldWindow of its first one. Once it has more than kFoldAbove, they
// are told in one "N documents changed" that takes the place of the burst's last notification.
inline constexpr std::chrono::seconds kFoldWindow{10};
inline constexpr size_t kFoldAbove = 3;
// The first finding of a burst is shown at once; the later ones are held this long, so that a
// pass finding many changes shows two notifications, not one per document.
inline constexpr std::chrono::milliseconds kFoldSettle{2000};

// When and what the desktop's notification service is told: the findings of the tray alert,
// folded in bursts; the setting that turns them off where a tray alerts as well; and what their
// actions ask for. Runs on the user-interface thread, without a display.
class DesktopAlerts {
public:
    DesktopAlerts(DesktopNotifications& notifications, SteadyClock& clock, ShellTimers& timers)
        : notifications_(notifications), clock_(clock), timers_(timers) {}

    // "desktopNotifications": with a tray, notifications only while it is on; without a tray
    // they are the alert, and always sent.
    void SetEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // A finding the tray alert announces (the window is unattended).
    void Announce(const DocumentFinding& finding, bool trayPresent);
    // The tick of TimerId::NoticeFold: the held findings go out.
    void OnFoldTimer();
    // What the action `key` of notification `id` asks for; nullopt for one not sent from here.
    struct Request {
        NoticeCommand command;
        std::string documentName;
    };
    std::optional<Request> ActionInvoked(uint32_t id, std::string_view key) const;
    // The service closed notification `id` (expired, dismissed, or after its action).
    void Closed(uint32_t id);
    // At exit: held findings are dropped and the timer stops.
    void Stop();

private:
    void FlushHeld();
    void Send(DesktopNotice notice);

    DesktopNotifications& notifications_;
    SteadyClock& clock_;
    ShellTimers& timers_;
    bool enabled_ = true;

    std::optional<std::chrono::steady_clock::time_point> burstStart_;
    size_t burstCount_ = 0;
    std::vector<DocumentFinding> held_;
    uint32_t lastId_ = 0;  // the burst's last notification still on screen
    // The notifications still on screen, for their actions; the oldest go beyond kShownKept.
    static constexpr size_t kShownKept = 64;
    std::map<uint32_t, DesktopNotice> shown_;
};

}  // namespace wardlet
