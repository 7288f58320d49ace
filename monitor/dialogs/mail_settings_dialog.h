#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>

#include "common/desktop_services.h"
#include "common/mail_config.h"
#include "monitor/app/mail_form.h"

class QCheckBox;
class QLineEdit;

namespace wardlet {

// What the e-mail settings need; the caller keeps it alive while the dialogs run.
struct MailSettingsContext {
    std::filesystem::path dataFolder;
    std::filesystem::path installFolder;  // where "Wardpost" is started from
    MailConfig& inForce;                  // the settings in force, owned by the caller
    MessageBoxes& messages;
    ProcessLauncher& launcher;
    // Called whenever `inForce` changed (read back from the file, applied), so that the check
    // threads and the mailer timer take the settings up as they are written, not later.
    std::function<void(const MailConfig&)> putInForce = {};
};

// The "Username/Password" sub-dialog: stages both texts on Apply.
class CredentialsDialog : public QDialog {
    Q_OBJECT
public:
    CredentialsDialog(const MailConfig& working, StagedCredentials& staged, MessageBoxes& messages,
                      QWidget* parent = nullptr);

private:
    void Apply();
    StagedCredentials& staged_;
    MessageBoxes& messages_;
    QLineEdit* userNameEdit_;
    QLineEdit* passwordEdit_;
};

// "Email Properties" over a working copy: exec() returns 1 after a valid Apply (the working copy
// then holds the new settings), 0 on Cancel. "Send Test Email" writes the working copy to
// "Wardlet.mail.tmp" and starts the mailer in test mode.
class EmailPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    EmailPropertiesDialog(const MailSettingsContext& context, MailConfig& working,
                          QWidget* parent = nullptr);

private:
    MailFormInput Input() const;
    void Apply();
    void SetCredentials();
    void SendTestMail();

    const MailSettingsContext& context_;
    MailConfig& working_;
    StagedCredentials staged_;
    QLineEdit* serverEdit_;
    QCheckBox* requiresAuthCheck_;
    QLineEdit* toEdit_;
    QLineEdit* ccEdit_;
    QLineEdit* bccEdit_;
    QCheckBox* sendOnChangeCheck_;
    QCheckBox* sendOnUnreachableCheck_;
    QCheckBox* markNotifiedCheck_;
};

enum class MailSettingsResult { Applied, Cancelled, NotSaved };

// The whole interaction: reloads "Wardlet.mail" into the settings in force, runs the dialog over
// a copy, and on Apply puts the copy in force and saves it. NotSaved: applied and in force, but
// the file could not be written.
MailSettingsResult EditMailSettings(QWidget* parent, const MailSettingsContext& context);

}  // namespace wardlet
