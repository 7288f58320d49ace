#pragma once

#include <QDialog>
#include <QTimer>

#include "mailer/app/mail_log.h"
#include "mailer/app/send_sequence.h"

class QListWidget;
class QPushButton;

namespace wardpost {

// The log window: a list of time-ordered lines and a Close button. Half a second after it is
// shown it runs the send sequence once; in normal mode it then closes itself.
class CQuorvmailDlg : public QDialog, public MailLogSink {
    Q_OBJECT
public:
    explicit CQuorvmailDlg(CQuorvmailApp& app, QWidget* parent = nullptr);

    // Adds the line and lets the window repaint and take clicks between blocking steps.
    void MailLog(const std::string& line) override;
    QListWidget* logList() const { return log_; }
    bool sequenceDone() const { return sequenceDone_; }

private:
    void OnStartTimer();

    CQuorvmailApp& app_;
    QListWidget* log_;
    QPushButton* close_;
    QTimer startTimer_;
    bool sequenceDone_ = false;
};

}  // namespace wardpost
