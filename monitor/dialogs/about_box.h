#pragma once

#include <QIcon>
#include <QWidget>

namespace wardlet {

// The program icon in its three sizes.
QIcon ProgramIcon();

// The about box: "Wardlet", the program icon, the version and "Close".
void RunAboutBox(QWidget* parent);

}  // namespace wardlet
