#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/mail_config.h"

namespace wardlet {

// The e-mail properties dialog's rules apart from its widgets. Each step returns the message of
// its first failure, or nothing when the input was taken. A text longer than its 79-byte field
// is refused, never cut.

inline constexpr size_t kMaxMailText = sizeof(MailConfig::smtpServer) - 1;

struct MailFormInput {
    std::string server;
    std::string to;
    std::string cc;
    std::string bcc;
    bool requiresAuth = false;
    bool sendOnChange = false;
    bool sendOnUnreachable = false;
    bool markNotifiedChecked = false;
};

// Credentials from the "Username/Password" sub-dialog, for one opening of the e-mail dialog.
struct StagedCredentials {
    bool staged = false;
    std::string userName;
    std::string password;
};

// The dialog's controls as they open over a working copy.
MailFormInput FormOf(const MailConfig& working);

// The reading shared by Apply and "Send Test Email": server, authentication flag, staged
// credentials, TO, CC and BCC into the working copy, in that order.
[[nodiscard]] std::optional<std::string> ReadServerAndRecipients(const MailFormInput& input,
                                                                 const StagedCredentials& staged,
                                                                 MailConfig& working);

// Apply: a "Send When" box must be checked, then the reading, then the three flags.
[[nodiscard]] std::optional<std::string> ApplyMailForm(const MailFormInput& input,
                                                       const StagedCredentials& staged,
                                                       MailConfig& working);

// The sub-dialog's Apply: both texts must be given; then they are staged.
[[nodiscard]] std::optional<std::string> StageCredentials(std::string_view userName,
                                                          std::string_view password,
                                                          StagedCredentials& staged);

}  // namespace wardlet
