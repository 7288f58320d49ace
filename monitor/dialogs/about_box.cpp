#include "monitor/dialogs/about_box.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "monitor/app/monitor_command_line.h"

namespace wardlet {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QString(":/wardlet/wardlet_%1.png").arg(size), QSize(size, size));
    return icon;
}

void RunAboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setObjectName("aboutBox");
    box.setWindowTitle("Wardlet");
    box.setWindowIcon(ProgramIcon());
    auto* picture = new QLabel;
    picture->setObjectName("aboutIcon");
    picture->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* name = new QLabel("<b>Wardlet</b><br>Document change monitor");
    auto* version = new QLabel(QString::fromLatin1(ProgramVersion()));
    version->setObjectName("aboutVersion");
    auto* close = new QPushButton("Close");
    close->setObjectName("close");
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, &box, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addLayout(buttons);
    box.exec();
}

}  // namespace wardlet
