#pragma once

#include <QWidget>

#include "monitor/app/shell_interfaces.h"

namespace wardlet {

// The "Startup Notification" dialog: the program icon, its text, "Add Document >" and "Cancel".
StartupAnswer RunStartupPrompt(QWidget* parent);

}  // namespace wardlet
