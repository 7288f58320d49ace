#pragma once

#include <QStringList>

#include "common/desktop_services.h"

namespace wardpost {

// The whole program after the application object exists: the refusal when not started by the
// monitor, else the log window until it closes. `arguments` excludes the program name.
int RunWardpost(const QStringList& arguments, wardlet::MessageBoxes& messages);

}  // namespace wardpost
