#pragma once

#include <filesystem>

#include "common/desktop_services.h"

namespace wardlet {

inline constexpr char kMailerProgram[] = "Wardpost";
inline constexpr char kCannotExecuteMailer[] =
    "Cannot execute the Wardpost program. Wardlet is not installed properly.";

// Normal: send the queued notifications ("/from_wardlet"). Test: send a test mail with the
// settings of "Wardlet.mail.tmp" ("/test /from_wardlet").
enum class MailerMode { Normal, Test };

enum class MailerStart { Started, Failed };

// Starts "Wardpost" from the install folder, detached. Shared by the mailer timer and the test
// mail, which each decide how to report a failure.
[[nodiscard]] MailerStart StartMailerProgram(ProcessLauncher& launcher,
                                             const std::filesystem::path& installFolder,
                                             MailerMode mode);

}  // namespace wardlet
