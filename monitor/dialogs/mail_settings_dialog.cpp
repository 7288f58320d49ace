#include "monitor/dialogs/mail_settings_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/little_endian.h"
#include "common/mailer_launch.h"
#include "monitor/dialogs/qt_text.h"

namespace wardlet {
namespace {

constexpr int kMailLimit = static_cast<int>(kMaxMailText);
constexpr char kServerHint[] =
    "Host name, with a port after a colon, or smtps:// for a server that speaks TLS at once,\n"
    "e.g. smtp.example.com, smtp.example.com:587, smtps://smtp.example.com";

QCheckBox* NewCheck(const char* caption, const char* objectName, bool checked, QWidget* parent) {
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(objectName);
    check->setChecked(checked);
    return check;
}

QPushButton* NewButton(const char* caption, const char* objectName, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

QHBoxLayout* ApplyCancelRow(QDialog* dialog, QPushButton*& apply) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    apply = NewButton("Apply", "applyButton", dialog);
    apply->setDefault(true);
    auto* cancel = NewButton("Cancel", "cancelButton", dialog);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addWidget(apply);
    row->addWidget(cancel);
    return row;
}

}  // namespace

CredentialsDialog::CredentialsDialog(const MailConfig& working, StagedCredentials& staged,
                                     MessageBoxes& messages, QWidget* parent)
    : QDialog(parent), staged_(staged), messages_(messages) {
    setWindowTitle("Username/Password");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    userNameEdit_ = NewLineEdit("userNameEdit", kMailLimit, this);
    userNameEdit_->setText(FromLocal8Bit(FieldText(working.smtpUserName)));
    passwordEdit_ = NewLineEdit("passwordEdit", kMailLimit, this);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    passwordEdit_->setText(FromLocal8Bit(FieldText(working.smtpPassword)));
    form->addRow("User Name:", userNameEdit_);
    form->addRow("Password:", passwordEdit_);
    layout->addLayout(form);
    QPushButton* apply;
    layout->addLayout(ApplyCancelRow(this, apply));
    connect(apply, &QPushButton::clicked, this, &CredentialsDialog::Apply);
}

void CredentialsDialog::Apply() {
    // Staged into a scratch copy first, so a refusal stages nothing.
    StagedCredentials candidate = staged_;
    if (auto refused = StageCredentials(ToLocal8Bit(userNameEdit_->text()),
                                        ToLocal8Bit(passwordEdit_->text()), candidate)) {
        messages_.Show(*refused, MessageIcon::Information);
        return;
    }
    staged_ = candidate;
    accept();
}

EmailPropertiesDialog::EmailPropertiesDialog(const MailSettingsContext& context,
                                             MailConfig& working, QWidget* parent)
    : QDialog(parent), context_(context), working_(working) {
    setWindowTitle("Email Properties");
    MailFormInput shown = FormOf(working);
    auto* layout = new QVBoxLayout(this);

    auto* server = new QGroupBox("SMTP Server", this);
    auto* serverForm = new QFormLayout(server);
    serverEdit_ = NewLineEdit("serverEdit", kMailLimit, server);
    serverEdit_->setText(FromLocal8Bit(shown.server));
    serverEdit_->setPlaceholderText(
        "smtp.example.com, smtp.example.com:587, smtps://smtp.example.com");
    serverEdit_->setToolTip(kServerHint);
    serverForm->addRow("Address:", serverEdit_);
    requiresAuthCheck_ =
        NewCheck("Requires Authentication", "requiresAuthCheck", shown.requiresAuth, server);
    serverForm->addRow(requiresAuthCheck_);
    auto* credentials = NewButton("Set User Name/Password", "credentialsButton", server);
    connect(credentials, &QPushButton::clicked, this, &EmailPropertiesDialog::SetCredentials);
    serverForm->addRow(credentials);
    layout->addWidget(server);

    auto* recipients = new QGroupBox("Recipient Email Address", this);
    auto* recipientForm = new QFormLayout(recipients);
    toEdit_ = NewLineEdit("toEdit", kMailLimit, recipients);
    toEdit_->setText(FromLocal8Bit(shown.to));
    ccEdit_ = NewLineEdit("ccEdit", kMailLimit, recipients);
    ccEdit_->setText(FromLocal8Bit(shown.cc));
    bccEdit_ = NewLineEdit("bccEdit", kMailLimit, recipients);
    bccEdit_->setText(FromLocal8Bit(shown.bcc));
    recipientForm->addRow("TO:", toEdit_);
    recipientForm->addRow("CC:", ccEdit_);
    recipientForm->addRow("BCC:", bccEdit_);
    auto* test = NewButton("Send Test Email", "sendTestButton", recipients);
    connect(test, &QPushButton::clicked, this, &EmailPropertiesDialog::SendTestMail);
    recipientForm->addRow(test);
    layout->addWidget(recipients);

    auto* when = new QGroupBox("Send When", this);
    auto* whenLayout = new QVBoxLayout(when);
    sendOnChangeCheck_ =
        NewCheck("Document changed", "sendOnChangeCheck", shown.sendOnChange, when);
    sendOnUnreachableCheck_ = NewCheck("Unable to Retrieve (i.e. Server Down)",
                                       "sendOnUnreachableCheck", shown.sendOnUnreachable, when);
    whenLayout->addWidget(sendOnChangeCheck_);
    whenLayout->addWidget(sendOnUnreachableCheck_);
    layout->addWidget(when);

    auto* misc = new QGroupBox("Misc.", this);
    auto* miscLayout = new QVBoxLayout(misc);
    markNotifiedCheck_ = NewCheck("Mark as Checked for Notified Documents", "markNotifiedCheck",
                                  shown.markNotifiedChecked, misc);
    miscLayout->addWidget(markNotifiedCheck_);
    layout->addWidget(misc);

    QPushButton* apply;
    layout->addLayout(ApplyCancelRow(this, apply));
    connect(apply, &QPushButton::clicked, this, &EmailPropertiesDialog::Apply);
}

MailFormInput EmailPropertiesDialog::Input() const {
    MailFormInput input;
    input.server = ToLocal8Bit(serverEdit_->text());
    input.to = ToLocal8Bit(toEdit_->text());
    input.cc = ToLocal8Bit(ccEdit_->text());
    input.bcc = ToLocal8Bit(bccEdit_->text());
    input.requiresAuth = requiresAuthCheck_->isChecked();
    input.sendOnChange = sendOnChangeCheck_->isChecked();
    input.sendOnUnreachable = sendOnUnreachableCheck_->isChecked();
    input.markNotifiedChecked = markNotifiedCheck_->isChecked();
    return input;
}

void EmailPropertiesDialog::Apply() {
    if (auto refused = ApplyMailForm(Input(), staged_, working_)) {
        context_.messages.Show(*refused, MessageIcon::Information);
        return;
    }
    accept();
}

void EmailPropertiesDialog::SetCredentials() {
    CredentialsDialog dialog(working_, staged_, context_.messages, this);
    dialog.exec();
}

void EmailPropertiesDialog::SendTestMail() {
    if (auto refused = ReadServerAndRecipients(Input(), staged_, working_)) {
        context_.messages.Show(*refused, MessageIcon::Information);
        return;
    }
    // A failed write is silent: the mailer then reports that it cannot read its settings.
    (void)WriteMailConfig(context_.dataFolder / kMailConfigTestFile, working_);
    if (StartMailerProgram(context_.launcher, context_.installFolder, MailerMode::Test) ==
        MailerStart::Failed)
        context_.messages.Show(kCannotExecuteMailer, MessageIcon::Stop);
}

MailSettingsResult EditMailSettings(QWidget* parent, const MailSettingsContext& context) {
    auto putInForce = [&](const MailConfig& config) {
        context.inForce = config;
        if (context.putInForce) context.putInForce(config);
    };
    putInForce(ReadMailConfigLenient(context.dataFolder / kMailConfigFile));
    MailConfig working = context.inForce;
    EmailPropertiesDialog dialog(context, working, parent);
    if (dialog.exec() != QDialog::Accepted) return MailSettingsResult::Cancelled;
    bool written = WriteMailConfig(context.dataFolder / kMailConfigFile, working);
    putInForce(working);
    return written ? MailSettingsResult::Applied : MailSettingsResult::NotSaved;
}

}  // namespace wardlet
