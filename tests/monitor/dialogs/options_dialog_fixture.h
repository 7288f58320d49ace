#pragma once

// The options dialog over a temporary data folder and configuration home, its message boxes and
// mailer launcher answered by the test.
// The options dialog and the e-mail properties dialogs on the offscreen platform; the modal
// e-mail dialogs are driven through the event loop, message boxes are scripted. The log-in start
// entry goes to a temporary config folder.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "common/desktop/qt_desktop_services.h"
#include "common/little_endian.h"
#include "common/mailer_launch.h"
#include "dialog_test_support.h"
#include "file_bytes.h"
#include "monitor/app/autostart_entry.h"
#include "monitor/dialogs/options_dialog.h"
#include "monitor/model/feature_settings.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {

inline std::string Bytes(const MailConfig& config) {
    auto bytes = ToBytes(config);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

inline MailConfig SavedSettings() {
    MailConfig c{};
    c.sendOnChange = 1;
    c.requiresAuth = 1;
    SetFieldText(c.smtpUserName, "saved user");
    SetFieldText(c.smtpPassword, "saved pass");
    SetFieldText(c.smtpServer, "smtp.example.com");
    SetFieldText(c.toAddress, "to@example.com");
    return c;
}

// Runs the steps one after another on whatever modal window is active; each returns true when
// it is done with its window.
inline void DriveModals(std::vector<std::function<bool(QWidget*)>> steps, bool* timedOut) {
    auto next = std::make_shared<size_t>(0);
    auto all = std::make_shared<std::vector<std::function<bool(QWidget*)>>>(std::move(steps));
    WatchModal(
        [=](QWidget* modal) {
            if ((*all)[*next](modal)) ++*next;
            return *next == all->size();
        },
        timedOut);
}

// Clicks a button that opens a modal window after the current step has returned.
inline void Later(QPushButton* button) {
    QTimer::singleShot(0, button, &QPushButton::click);
}

inline void SetEdit(QWidget* w, const char* name, const QString& text) {
    Find<QLineEdit>(w, name)->setText(text);
}

inline bool Titled(QWidget* w, const char* title) {
    return w->windowTitle() == title;
}

// Points XDG_CONFIG_HOME at a fresh temporary folder for the object's lifetime.
class TempConfigHome {
public:
    TempConfigHome() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    ~TempConfigHome() {
        if (old_)
            setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::optional<std::string> old_;
};

class OptionsDialogTest : public ::testing::Test {
protected:
    MailSettingsContext Mail() {
        return MailSettingsContext{data_, install_.path(), inForce_, messages_, launcher_};
    }
    std::string MailFile() { return ReadBytes(data_ / kMailConfigFile); }

    std::filesystem::path Entry() const { return config_.path() / "autostart" / "wardlet.desktop"; }

    TempDataHome home_;
    std::filesystem::path data_ = home_.makeDataFolder();
    TempConfigHome config_;
    TempDir install_;
    MailConfig inForce_{};
    ScriptedMessageBoxes messages_;
    RecordingLauncher launcher_;
};

}  // namespace wardlet::test
