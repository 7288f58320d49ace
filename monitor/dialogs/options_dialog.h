#pragma once

#include <QAbstractSpinBox>
#include <QCoreApplication>
#include <QDialog>

#include "monitor/dialogs/mail_settings_dialog.h"
#include "monitor/model/options.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace wardlet {

// The check interval: a read-only number stepped by the arrows in fives (see StepInterval).
class IntervalSpinBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit IntervalSpinBox(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    void setValueText(const QString& text);

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

// "Options": exec() returns 1 after Apply, with all eleven fields of `options` written, or 0
// with `options` untouched. "Properties.." runs EditMailSettings, whose Apply saves at once.
// "Start Wardlet when I log in" is the autostart entry, written or removed by Apply alone; the
// entry starts `program`. "Desktop notifications" is kept in "Wardlet.settings", written by Apply
// alone.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(MonitorOptions& options, const MailSettingsContext& mail,
                  QWidget* parent = nullptr,
                  const QString& program = QCoreApplication::applicationFilePath());

private:
    QCheckBox* AddCheck(const char* caption, int32_t MonitorOptions::*field, QWidget* parent);
    void ShowEnabling();
    void Apply();
    void ApplyStartAtLogin();
    void ApplyFeatureSettings();

    MonitorOptions& options_;
    const MailSettingsContext& mail_;
    QString program_;
    QCheckBox* startAtLoginCheck_ = nullptr;
    QCheckBox* desktopNotificationsCheck_ = nullptr;
    std::vector<std::pair<QCheckBox*, int32_t MonitorOptions::*>> checks_;
    QCheckBox* periodicCheck_ = nullptr;
    QCheckBox* sendEmailCheck_ = nullptr;
    IntervalSpinBox* interval_ = nullptr;
    QPushButton* emailProperties_ = nullptr;
    QComboBox* threadList_ = nullptr;
};

}  // namespace wardlet
