#include "monitor/app/wardctl_check.h"

#include <mutex>

#include "common/mail_config.h"
#include "monitor/app/options.h"
#include "monitor/app/wardctl_commands.h"
#include "monitor/engine/foreground_pass.h"

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

int UnknownName(WardctlSession& session, const std::vector<std::string>& unknown) {
    return unknown.empty() ? kExitOk : session.NoDocument(unknown.front());
}

}  // namespace

int CheckCommand(WardctlSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> names;
    if (!ParseSelection(args, names)) {
        session.err << "wardctl: use 'check --all' or 'check NAME...'\nTry 'wardctl --help'.\n";
        return kExitUsage;
    }
    if (int status = session.LockForWriting()) return status;
    session.Load();
    MonitorOptions options = LoadOptions(session.dataFolder());
    NotifySettings notify;
    notify.mailQueueActive = options.sendEmail == 1;
    notify.mail = ReadMailConfigLenient(session.dataFolder() / kMailConfigFile);
    FixedEngineSettings settings(options.threadCount, notify);
    std::mutex outLock;
    HeadlessCheckObserver observer(
        session.list(),
        [&](const std::string& line) {
            std::lock_guard guard(outLock);
            session.out << line << std::endl;
        },
        [&](std::string_view message) {
            std::lock_guard guard(outLock);
            session.err << "wardctl: " << message << std::endl;
        });
    PassSummary summary = RunForegroundPass(session.store(), settings, observer, names);
    if (!summary.unknownNames.empty()) return UnknownName(session, summary.unknownNames);
    return summary.ExitStatus();
}

int MarkCheckedCommand(WardctlSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> names;
    if (!ParseSelection(args, names)) {
        session.err << "wardctl: use 'mark-checked --all' or 'mark-checked NAME...'\n"
                       "Try 'wardctl --help'.\n";
        return kExitUsage;
    }
    if (int status = session.LockForWriting()) return status;
    session.Load();
    return UnknownName(session, MarkDocumentsChecked(session.store(), names));
}

}  // namespace wardlet
