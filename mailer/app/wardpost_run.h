#pragma once

#include <QStringList>

namespace wardpost {

// The whole program after the application object exists: the refusal when not started by the
// monitor, else the log window until it closes. `arguments` excludes the program name.
int RunWardpost(const QStringList& arguments);

}  // namespace wardpost
