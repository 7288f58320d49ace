#include "monitor/app/mail_form.h"

#include "common/little_endian.h"

namespace wardlet {
namespace {

bool TooLong(std::string_view text) {
    return text.size() > kMaxMailText;
}

}  // namespace

MailFormInput FormOf(const MailConfig& working) {
    MailFormInput form;
    form.server = FieldText(working.smtpServer);
    form.to = FieldText(working.toAddress);
    form.cc = FieldText(working.ccAddress);
    form.bcc = FieldText(working.bccAddress);
    form.requiresAuth = working.requiresAuth == 1;
    form.sendOnChange = working.sendOnChange == 1;
    form.sendOnUnreachable = working.sendOnUnreachable == 1;
    form.markNotifiedChecked = working.markNotifiedChecked == 1;
    return form;
}

std::optional<std::string> ReadServerAndRecipients(const MailFormInput& input,
                                                   const StagedCredentials& staged,
                                                   MailConfig& working) {
    if (input.server.empty()) return "Please enter the SMTP server address.";
    if (TooLong(input.server)) return "The SMTP server address can hold at most 79 characters.";
    SetFieldText(working.smtpServer, input.server);
    working.requiresAuth = input.requiresAuth ? 1 : 0;
    if (staged.staged) {
        SetFieldText(working.smtpUserName, staged.userName);
        SetFieldText(working.smtpPassword, staged.password);
    }
    if (input.to.empty()) return "Please enter 'TO:' recipient email address.";
    if (TooLong(input.to)) return "The 'TO:' address can hold at most 79 characters.";
    SetFieldText(working.toAddress, input.to);
    if (TooLong(input.cc)) return "The 'CC:' address can hold at most 79 characters.";
    if (TooLong(input.bcc)) return "The 'BCC:' address can hold at most 79 characters.";
    SetFieldText(working.ccAddress, input.cc);
    SetFieldText(working.bccAddress, input.bcc);
    return std::nullopt;
}

std::optional<std::string> ApplyMailForm(const MailFormInput& input,
                                         const StagedCredentials& staged, MailConfig& working) {
    if (!input.sendOnChange && !input.sendOnUnreachable)
        return "Please select an option at [Send when] section to apply.";
    if (auto refused = ReadServerAndRecipients(input, staged, working)) return refused;
    working.sendOnUnreachable = input.sendOnUnreachable ? 1 : 0;
    working.sendOnChange = input.sendOnChange ? 1 : 0;
    working.markNotifiedChecked = input.markNotifiedChecked ? 1 : 0;
    return std::nullopt;
}

std::optional<std::string> StageCredentials(std::string_view userName, std::string_view password,
                                            StagedCredentials& staged) {
    if (userName.empty() || password.empty()) return "Please enter the username / password.";
    if (TooLong(userName) || TooLong(password))
        return "The username and the password can hold at most 79 characters each.";
    staged.staged = true;
    staged.userName = userName;
    staged.password = password;
    return std::nullopt;
}

}  // namespace wardlet
