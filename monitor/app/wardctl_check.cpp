#include "monitor/app/wardctl_check.h"

#include <signal.h>

#include <algorithm>
#include <atomic>

#include "monitor/app/wardctl_commands.h"
#include "monitor/app/wardctl_json.h"
#include "monitor/app/wardctl_mail.h"
#include "monitor/app/wardctl_pass.h"

namespace wardlet {
namespace {

// "--all" alone, or nothing, means every document (an empty list); otherwise the names.
bool ParseSelection(const std::vector<std::string>& args, std::vector<std::string>& names) {
    if (args.size() == 1 && args[0] == "--all") return true;
    for (const auto& arg : args)
        if (arg.rfind("--", 0) == 0) return false;
    names = args;
    return true;
}

// Takes `flag` out of `args`; true when it was there.
bool TakeFlag(std::vector<std::string>& args, std::string_view flag) {
    auto found = std::find(args.begin(), args.end(), flag);
    if (found == args.end()) return false;
    args.erase(found);
    return true;
}

int UnknownName(WardctlSession& session, const std::vector<std::string>& unknown) {
    return unknown.empty() ? kExitOk : session.NoDocument(unknown.front());
}

std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void CatchSignal(int signal) {
    caughtSignal.store(signal);
}

// While a pass runs, SIGTERM and SIGINT stop it and the records are written back, as the
// monitor does at its exit; the old handlers come back afterwards.
class PassSignals {
public:
    PassSignals() {
        caughtSignal.store(0);
        struct sigaction action {};
        action.sa_handler = CatchSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, &oldTerm_);
        sigaction(SIGINT, &action, &oldInt_);
    }
    ~PassSignals() {
        sigaction(SIGTERM, &oldTerm_, nullptr);
        sigaction(SIGINT, &oldInt_, nullptr);
    }
    int caught() const { return caughtSignal.load(); }

private:
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
};

}  // namespace

int CheckCommand(WardctlSession& session, const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    bool sendMail = TakeFlag(args, "--send-mail");
    bool json = TakeFlag(args, "--json");
    std::vector<std::string> names;
    if (!ParseSelection(args, names)) {
        return ReportUsage(session.err,
                           "use 'check [--json] [--send-mail] --all' or 'check NAME...'");
    }
    if (int status = session.LockForWriting()) return status;
    session.doc().PrepareChecks();
    session.Load();
    // The monitor's own options-to-engine settings; e-mail entries are queued when sendEmail is
    // on, as the monitor's mailer timer would run.
    CWardletDoc& doc = session.doc();
    doc.LoadSettings();
    doc.SetMailTimerActive(FlagOn(doc.options().sendEmail));
    // With --json each ended check is one JSON object on its own line instead of the tab line.
    session.observer().SetOutput(
        [&](const std::string& line) { session.out << line << std::endl; },
        [&](const std::string& message) { session.err << "wardctl: " << message << std::endl; },
        json ? WardctlObserver::Format(
                   [](const DocumentRecord& r) { return JsonLine(CheckJson(r)); })
             : WardctlObserver::Format(CheckLine));
    PassSignals signals;
    PassSummary summary =
        RunForegroundPass(doc, session.observer(), names, [&] { return signals.caught() != 0; });
    if (!summary.unknownNames.empty()) return UnknownName(session, summary.unknownNames);
    // Ended by a signal, as the shell expects, once everything is saved.
    if (summary.interrupted) return 128 + signals.caught();
    // The mailer runs once the pass is over, as the monitor's mailer timer would: only while
    // "Send email" is on.
    if (sendMail && doc.mailTimerActive())
        if (int status = SendQueuedMail(session)) return status;
    return summary.ExitStatus();
}

int MarkCheckedCommand(WardctlSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> names;
    if (!ParseSelection(args, names)) {
        return ReportUsage(session.err, "use 'mark-checked --all' or 'mark-checked NAME...'");
    }
    if (int status = session.LockForWriting()) return status;
    session.Load();
    return UnknownName(session, MarkDocumentsChecked(session.doc(), names));
}

}  // namespace wardlet
