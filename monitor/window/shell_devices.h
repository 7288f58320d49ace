#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "monitor/app/shell_interfaces.h"

class QMenu;
class QSoundEffect;

namespace wardlet {

// One QTimer per named timer; each tick is signalled with the timer's id.
class QtShellTimers : public QObject, public ShellTimers {
    Q_OBJECT
public:
    explicit QtShellTimers(QObject* parent = nullptr) : QObject(parent) {}
    void Start(TimerId id, std::chrono::milliseconds period) override;
    void Stop(TimerId id) override;
    bool IsActive(TimerId id) const;
    int Interval(TimerId id) const;

signals:
    void tick(TimerId id);

private:
    std::map<TimerId, QTimer*> timers_;
};

// The tray icon with its menu; the blank phase shows a transparent icon of the same size.
class QtTrayIcon : public QObject, public TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    ~QtTrayIcon() override;
    bool Available() override;
    void Add() override;
    void Remove() override;
    void SetImage(TrayImage image) override;
    void ShowBalloon(std::string_view title, std::string_view text,
                     std::chrono::milliseconds timeout) override;

    QSystemTrayIcon& icon() { return icon_; }
    QMenu& menu() { return *menu_; }
    TrayImage image() const { return image_; }

signals:
    // Double-click, click (Linux tray hosts report single clicks) and the balloon.
    void activated();

private:
    QSystemTrayIcon icon_;
    std::unique_ptr<QMenu> menu_;
    QIcon normal_;
    QIcon blank_;
    TrayImage image_ = TrayImage::Normal;
};

// QSoundEffect, and the desktop's beep when the file is missing or cannot be played, or when
// there is no audio device.
class QtSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit QtSoundPlayer(QObject* parent = nullptr) : QObject(parent) {}
    void Play(const std::optional<std::filesystem::path>& file) override;
};

}  // namespace wardlet
