#include "monitor/dialogs/startup_prompt.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "monitor/dialogs/about_box.h"

namespace wardlet {

StartupAnswer RunStartupPrompt(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName("startupPrompt");
    dialog.setWindowTitle("Startup Notification");
    dialog.setWindowIcon(ProgramIcon());
    auto* picture = new QLabel;
    picture->setPixmap(ProgramIcon().pixmap(32, 32));
    auto* text = new QLabel("To start monitoring, you need to add a document first.");
    auto* add = new QPushButton("Add Document >");
    add->setObjectName("addDocument");
    add->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("cancel");
    QObject::connect(add, &QPushButton::clicked, &dialog, [&] { dialog.done(1); });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, [&] { dialog.done(0); });
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addLayout(buttons);
    return dialog.exec() == 1 ? StartupAnswer::AddDocument : StartupAnswer::Cancel;
}

}  // namespace wardlet
