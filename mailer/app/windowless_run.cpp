#include "mailer/app/windowless_run.h"

#include <algorithm>

#include "common/folders.h"
#include "mailer/app/mailer_command_line.h"

namespace wardpost {
namespace {

class StreamLog : public MailLogSink {
public:
    explicit StreamLog(std::ostream& out) : out_(out) {}
    // Flushed at once, so a journal shows each step as it happens.
    void MailLog(const std::string& line) override { out_ << "Wardpost: " << line << std::endl; }

private:
    std::ostream& out_;
};

}  // namespace

bool WantsNoWindow(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), kNoWindowArgument) != arguments.end();
}

int ExitStatusOf(SendOutcome outcome) {
    switch (outcome) {
        case SendOutcome::Delivered:
            return kSent;
        case SendOutcome::RefusedForGood:
            return kRefusedForGood;
        case SendOutcome::TryAgainLater:
            return kTryLater;
        case SendOutcome::ConfigUnreadable:
        case SendOutcome::UnusableSetting:
            return kSettings;
    }
    return kTryLater;
}

int RunWithoutWindow(const std::vector<std::string>& arguments, std::ostream& log) {
    CQuorvmailApp app;
    app.dataFolder = wardlet::MailerDataFolder();
    app.testMode = ParseMailerCommandLine(JoinArguments(arguments)).testMode;
    StreamLog sink(log);
    return ExitStatusOf(RunSendSequence(app, sink));
}

}  // namespace wardpost
