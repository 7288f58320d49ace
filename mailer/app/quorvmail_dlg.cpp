#include "mailer/app/quorvmail_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/debug_log.h"

namespace wardpost {

CQuorvmailDlg::CQuorvmailDlg(CQuorvmailApp& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      log_(new QListWidget(this)),
      close_(new QPushButton("Close", this)) {
    setWindowTitle("Wardpost - Calvorne");
    setWindowIcon(QIcon(":/wardpost/wardpost.xpm"));
    resize(438, 282);  // the 292 x 173 dialog units of the classic layout

    log_->setObjectName("log");
    log_->setSelectionMode(QAbstractItemView::NoSelection);
    log_->setSortingEnabled(false);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    close_->setObjectName("close");
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_);
    layout->addLayout(buttons);

    startTimer_.setSingleShot(true);
    startTimer_.setInterval(500);
    connect(&startTimer_, &QTimer::timeout, this, &CQuorvmailDlg::OnStartTimer);
    startTimer_.start();
}

void CQuorvmailDlg::MailLog(const std::string& line) {
    log_->addItem(QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size())));
    log_->scrollToBottom();
    wardlet::DebugLog("Wardpost: " + line);
    QApplication::processEvents();
}

void CQuorvmailDlg::OnStartTimer() {
    startTimer_.stop();
    SendOutcome outcome = RunSendSequence(app_, *this);
    sequenceDone_ = true;
    // A run that could not read its settings stays open so the user can see why; test mode
    // waits for the user to read the log.
    if (!app_.testMode && outcome != SendOutcome::ConfigUnreadable) reject();
}

}  // namespace wardpost
