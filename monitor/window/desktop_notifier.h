#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string_view>

#include "monitor/app/desktop_notice.h"

namespace wardlet {

// org.freedesktop.Notifications on the session bus, through QtDBus. Where there is no session
// bus or no service answers, nothing is shown and one debug-log line says why. The calls wait for
// their reply at most kNotifyCallTimeoutMs, so a hung service cannot hold the window for long.
inline constexpr int kNotifyCallTimeoutMs = 2000;

class QtDesktopNotifications : public QObject, public DesktopNotifications {
    Q_OBJECT
public:
    explicit QtDesktopNotifications(QObject* parent = nullptr) : QObject(parent) {}
    uint32_t Show(const DesktopNotice& notice) override;

signals:
    // The service's signals about notifications of this program.
    void actionInvoked(uint32_t id, const QString& key);
    void closed(uint32_t id);

private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnNotificationClosed(uint id, uint reason);

private:
    // The service's capabilities, asked once it answers; false when it does not.
    bool LearnCapabilities();
    void ReportOnce(const QString& why);

    bool listening_ = false;
    bool known_ = false;
    bool actions_ = false;
    bool markup_ = false;
    bool reported_ = false;
};

}  // namespace wardlet
