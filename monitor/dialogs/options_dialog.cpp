#include "monitor/dialogs/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "monitor/app/autostart_entry.h"
#include "monitor/app/options_form.h"
#include "monitor/dialogs/qt_text.h"
#include "monitor/model/feature_settings.h"

namespace wardlet {

IntervalSpinBox::IntervalSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
    setObjectName("intervalSpin");
    lineEdit()->setObjectName("intervalText");
    lineEdit()->setReadOnly(true);
    lineEdit()->setText("60");  // replaced by the stored value at opening
}

void IntervalSpinBox::stepBy(int steps) {
    // Each arrow press steps once, whatever size the step event asks for.
    uint32_t value = ReadUnsigned(ToLocal8Bit(text()));
    lineEdit()->setText(QString::number(StepInterval(value, steps > 0)));
}

void IntervalSpinBox::setValueText(const QString& text) {
    lineEdit()->setText(text);
}

OptionsDialog::OptionsDialog(MonitorOptions& options, const MailSettingsContext& mail,
                             QWidget* parent, const QString& program)
    : QDialog(parent), options_(options), mail_(mail), program_(program) {
    setWindowTitle("Options");
    auto* layout = new QVBoxLayout(this);

    auto* automatic = new QGroupBox("Automatic Check", this);
    auto* automaticLayout = new QVBoxLayout(automatic);
    startAtLoginCheck_ = new QCheckBox("Start Wardlet when I log in", automatic);
    startAtLoginCheck_->setObjectName("startAtLogin");
    startAtLoginCheck_->setChecked(AutostartEntryExists());
    automaticLayout->addWidget(startAtLoginCheck_);
    automaticLayout->addWidget(
        AddCheck("Start-up check", &MonitorOptions::startupCheck, automatic));
    auto* periodicRow = new QHBoxLayout;
    periodicCheck_ = AddCheck("Periodic check", &MonitorOptions::periodicCheck, automatic);
    interval_ = new IntervalSpinBox(automatic);
    interval_->setValueText(QString::fromStdString(IntervalText(options.checkPeriodMinutes)));
    periodicRow->addWidget(periodicCheck_);
    periodicRow->addWidget(interval_);
    periodicRow->addWidget(new QLabel("Minutes", automatic));
    automaticLayout->addLayout(periodicRow);
    connect(periodicCheck_, &QCheckBox::clicked, this, &OptionsDialog::ShowEnabling);
    layout->addWidget(automatic);

    auto* notification = new QGroupBox("Notification", this);
    auto* notificationLayout = new QVBoxLayout(notification);
    notificationLayout->addWidget(
        AddCheck("Play sound when changed", &MonitorOptions::soundOnChange, notification));
    notificationLayout->addWidget(AddCheck("Play sound when unable to retrieve",
                                           &MonitorOptions::soundOnFailure, notification));
    notificationLayout->addWidget(
        AddCheck("Select when changed", &MonitorOptions::selectOnChange, notification));
    notificationLayout->addWidget(
        AddCheck("Select when unable to retrieve", &MonitorOptions::selectOnFailure, notification));
    auto* emailRow = new QHBoxLayout;
    sendEmailCheck_ = AddCheck("Send email", &MonitorOptions::sendEmail, notification);
    emailProperties_ = new QPushButton("Properties..", notification);
    emailProperties_->setObjectName("emailPropertiesButton");
    emailProperties_->setAutoDefault(false);
    emailRow->addWidget(sendEmailCheck_);
    emailRow->addWidget(emailProperties_);
    notificationLayout->addLayout(emailRow);
    connect(sendEmailCheck_, &QCheckBox::clicked, this, &OptionsDialog::ShowEnabling);
    connect(emailProperties_, &QPushButton::clicked, this,
            [this] { (void)EditMailSettings(this, mail_); });
    desktopNotificationsCheck_ = new QCheckBox("Desktop notifications", notification);
    desktopNotificationsCheck_->setObjectName("desktopNotifications");
    desktopNotificationsCheck_->setChecked(
        LoadFeatureSettings(mail_.dataFolder).desktopNotifications);
    notificationLayout->addWidget(desktopNotificationsCheck_);
    auto* noTrayNote = new QLabel(
        "Shown beside the tray balloon. On a desktop without a tray (GNOME without an\n"
        "extension, for one) the desktop notifications are the alert and always appear.",
        notification);
    noTrayNote->setObjectName("noTrayNote");
    noTrayNote->setIndent(20);
    notificationLayout->addWidget(noTrayNote);
    layout->addWidget(notification);

    auto* misc = new QGroupBox("Misc.", this);
    auto* miscLayout = new QVBoxLayout(misc);
    miscLayout->addWidget(AddCheck("Open Web page automatically if it changed",
                                   &MonitorOptions::openPageOnChange, misc));
    miscLayout->addWidget(AddCheck("Mark as Checked if the changed document opened",
                                   &MonitorOptions::markCheckedOnOpen, misc));
    auto* threadRow = new QHBoxLayout;
    threadList_ = new QComboBox(misc);
    threadList_->setObjectName("threadCountList");
    for (int i = 1; i <= kThreadItems; ++i)
        threadList_->addItem(QString::number(i));
    auto item = ThreadItemOf(options.threadCount);
    threadList_->setCurrentIndex(item ? *item : -1);
    threadRow->addWidget(threadList_);
    threadRow->addWidget(new QLabel("thread(s) use for retrieving/checking documents", misc));
    miscLayout->addLayout(threadRow);
    layout->addWidget(misc);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* apply = new QPushButton("Apply", this);
    apply->setObjectName("applyButton");
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, &OptionsDialog::Apply);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancelButton");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    ShowEnabling();
}

QCheckBox* OptionsDialog::AddCheck(const char* caption, int32_t MonitorOptions::*field,
                                   QWidget* parent) {
    auto* check = new QCheckBox(caption, parent);
    for (const auto& known : kOptionFields)
        if (known.member == field) check->setObjectName(QString::fromLatin1(known.name));
    check->setChecked(options_.*field == 1);
    checks_.emplace_back(check, field);
    return check;
}

void OptionsDialog::ShowEnabling() {
    interval_->setEnabled(periodicCheck_->isChecked());
    emailProperties_->setEnabled(sendEmailCheck_->isChecked());
}

void OptionsDialog::Apply() {
    options_.checkPeriodMinutes =
        static_cast<int32_t>(ReadUnsigned(ToLocal8Bit(interval_->text())));
    for (const auto& [check, field] : checks_)
        options_.*field = check->isChecked() ? 1 : 0;
    std::optional<std::string> selected;
    if (threadList_->currentIndex() >= 0) selected = ToLocal8Bit(threadList_->currentText());
    options_.threadCount = ThreadCountOf(selected);
    // A failure is told, and the options above are applied all the same.
    ApplyStartAtLogin();
    ApplyFeatureSettings();
    accept();
}

void OptionsDialog::ApplyFeatureSettings() {
    // Read afresh: only this dialog's setting changes, the others stay as the file has them.
    FeatureSettings settings = LoadFeatureSettings(mail_.dataFolder);
    settings.desktopNotifications = desktopNotificationsCheck_->isChecked();
    if (SaveFeatureSettings(mail_.dataFolder, settings)) return;
    mail_.messages.Show(
        "The settings could not be written:\n" + FeatureSettingsFile(mail_.dataFolder).string(),
        MessageIcon::Stop);
}

void OptionsDialog::ApplyStartAtLogin() {
    bool wanted = startAtLoginCheck_->isChecked();
    AutostartResult result =
        wanted ? WriteAutostartEntry(ToLocal8Bit(program_)) : RemoveAutostartEntry();
    if (result == AutostartResult::Done) return;
    std::string text = wanted ? "The log-in start entry could not be written:\n"
                              : "The log-in start entry could not be removed:\n";
    mail_.messages.Show(text + AutostartEntryPath().string(), MessageIcon::Stop);
}

}  // namespace wardlet
