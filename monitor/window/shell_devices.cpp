#include "monitor/window/shell_devices.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMenu>
#include <QPixmap>
#include <QSoundEffect>
#include <QUrl>

#include "common/debug_log.h"
#include "common/desktop/qt_desktop_services.h"
#include "monitor/app/monitor_shell.h"

namespace wardlet {

void QtShellTimers::Start(TimerId id, std::chrono::milliseconds period) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setObjectName(QString("timer%1").arg(static_cast<int>(id)));
        connect(timer, &QTimer::timeout, this, [this, id] { emit tick(id); });
    }
    // The period is held to what a QTimer takes (a signed 32-bit count) by the caller.
    timer->start(static_cast<int>(std::min<int64_t>(period.count(), kLongestTimerPeriod.count())));
}

void QtShellTimers::Stop(TimerId id) {
    if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

bool QtShellTimers::IsActive(TimerId id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int QtShellTimers::Interval(TimerId id) const {
    auto it = timers_.find(id);
    return it == timers_.end() ? -1 : it->second->interval();
}

QtTrayIcon::QtTrayIcon(QObject* parent)
    : QObject(parent), menu_(std::make_unique<QMenu>()), normal_(":/wardlet/tray.png") {
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    blank_ = QIcon(blank);
    menu_->setObjectName("trayMenu");
    icon_.setObjectName("trayIcon");
    icon_.setIcon(normal_);
    icon_.setToolTip(QString::fromLatin1("Wardlet"));
    icon_.setContextMenu(menu_.get());
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::DoubleClick || why == QSystemTrayIcon::Trigger)
                    emit activated();
            });
    connect(&icon_, &QSystemTrayIcon::messageClicked, this, &QtTrayIcon::activated);
}

QtTrayIcon::~QtTrayIcon() {
    icon_.setContextMenu(nullptr);
}

bool QtTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::Add() {
    image_ = TrayImage::Normal;
    icon_.setIcon(normal_);
    icon_.show();
}

void QtTrayIcon::Remove() {
    icon_.hide();
}

void QtTrayIcon::SetImage(TrayImage image) {
    image_ = image;
    icon_.setIcon(image == TrayImage::Normal ? normal_ : blank_);
}

void QtTrayIcon::ShowBalloon(std::string_view title, std::string_view text,
                             std::chrono::milliseconds timeout) {
    DebugLog("tray balloon: " + std::string(text));
    icon_.showMessage(FromLocal8Bit(title), FromLocal8Bit(text), QSystemTrayIcon::Information,
                      static_cast<int>(timeout.count()));
}

void QtSoundPlayer::Play(const std::optional<std::filesystem::path>& file) {
    if (!file || QMediaDevices::audioOutputs().isEmpty()) return QApplication::beep();
    auto* effect = new QSoundEffect(this);
    // Loading is asynchronous: an unplayable file shows itself as an error status later.
    connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error) {
            QApplication::beep();
            effect->deleteLater();
        } else if (effect->status() == QSoundEffect::Ready) {
            effect->play();
        }
    });
    connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying()) effect->deleteLater();
    });
    effect->setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(file->c_str())));
}

}  // namespace wardlet
