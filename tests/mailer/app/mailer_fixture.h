#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/mail_config.h"
#include "mailer/app/mail_log.h"
#include "temp_home.h"

namespace wardlet::test {

// A log that keeps its lines; `onLine` runs at each one, as the window's message pump would
// let the rest of the world run between steps.
class RecordedLog : public wardpost::MailLogSink {
public:
    void MailLog(const std::string& line) override {
        lines.push_back(line);
        if (onLine) onLine(line);
    }
    std::vector<std::string> lines;
    std::function<void(const std::string&)> onLine;
};

struct MailSettings {
    MailSettings(std::string server = {}, std::string to = "owner@example.org", std::string cc = {},
                 std::string bcc = {}, int requiresAuth = 0, std::string user = {},
                 std::string password = {})
        : server(std::move(server)),
          to(std::move(to)),
          cc(std::move(cc)),
          bcc(std::move(bcc)),
          requiresAuth(requiresAuth),
          user(std::move(user)),
          password(std::move(password)) {}
    std::string server;
    std::string to;
    std::string cc;
    std::string bcc;
    int requiresAuth;
    std::string user;
    std::string password;
};

MailConfig MakeConfig(const MailSettings& settings);
// Writes the settings as the monitor does ("Wardlet.mail" or "Wardlet.mail.tmp").
void WriteSettings(const std::filesystem::path& folder, const MailSettings& settings,
                   bool testFile = false);
// Appends one entry to "Wardpost.msg" as the monitor does.
void QueueEntry(const std::filesystem::path& folder, const std::string& name);
// A loopback address where nothing listens.
std::string ClosedServer();
bool MatchesDoneLine(const std::string& line);

}  // namespace wardlet::test
