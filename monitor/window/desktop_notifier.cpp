#include "monitor/window/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "common/debug_log.h"
#include "common/desktop/qt_desktop_services.h"

namespace wardlet {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage Call(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, kNotifyCallTimeoutMs);
}

}  // namespace

uint32_t QtDesktopNotifications::Show(const DesktopNotice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        ReportOnce("no session bus (" + bus.lastError().message() + ")");
        return 0;
    }
    if (!listening_) {
        listening_ = true;
        bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                    SLOT(OnActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, "NotificationClosed", this,
                    SLOT(OnNotificationClosed(uint, uint)));
    }
    if (!known_ && !LearnCapabilities()) return 0;

    QString body = FromLocal8Bit(notice.body);
    // A server that reads markup would take "<" or "&" in a document's name for its own.
    if (markup_) body = body.toHtmlEscaped();
    QStringList actions;
    if (actions_)
        for (const NoticeAction& action : notice.actions)
            actions << QString::fromStdString(action.key) << FromLocal8Bit(action.label);
    QVariantMap hints;
    hints.insert("desktop-entry", QString::fromLatin1(kNoticeDesktopEntry));
    QDBusMessage reply =
        Call("Notify", {QString::fromLatin1(kNoticeAppName), static_cast<uint>(notice.replacesId),
                        QString::fromLatin1(kNoticeIcon), QString::fromLatin1(kNoticeSummary), body,
                        actions, hints, -1});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        ReportOnce("the notification service refused Notify: " + reply.errorMessage());
        known_ = false;  // another service may take its name later
        return 0;
    }
    return reply.arguments().first().toUInt();
}

bool QtDesktopNotifications::LearnCapabilities() {
    QDBusMessage reply = Call("GetCapabilities");
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        ReportOnce("no notification service on the session bus (" + reply.errorMessage() + ")");
        return false;
    }
    QStringList capabilities = reply.arguments().first().toStringList();
    actions_ = capabilities.contains("actions");
    markup_ = capabilities.contains("body-markup");
    known_ = true;
    return true;
}

void QtDesktopNotifications::ReportOnce(const QString& why) {
    if (reported_) return;
    reported_ = true;
    DebugLog("desktop notifications: " + why.toStdString() + "; nothing is sent");
}

void QtDesktopNotifications::OnActionInvoked(uint id, const QString& key) {
    emit actionInvoked(id, key);
}

void QtDesktopNotifications::OnNotificationClosed(uint id, uint /*reason*/) {
    emit closed(id);
}

}  // namespace wardlet
