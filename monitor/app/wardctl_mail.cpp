#include "monitor/app/wardctl_mail.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "common/folders.h"
#include "common/mail_queue.h"
#include "common/mailer_launch.h"
#include "monitor/app/wardctl_commands.h"

extern char** environ;

namespace wardlet {
namespace {

// The mailer's exit status, or -1 with `error` set when it could not be started or waited for.
int RunMailer(const std::filesystem::path& program, std::string& error) {
    std::string path = program.string();
    std::vector<char*> argv{const_cast<char*>(kMailerProgram), const_cast<char*>("--no-window"),
                            nullptr};
    pid_t pid = -1;
    if (int code = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ)) {
        error = "cannot start " + path + ": " + strerror(code);
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno == EINTR) continue;
        error = std::string("cannot wait for Wardpost: ") + strerror(errno);
        return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    error = "Wardpost ended by signal " + std::to_string(WTERMSIG(status));
    return -1;
}

}  // namespace

int SendQueuedMail(WardctlSession& session) {
    if (!MailQueueExists(session.dataFolder())) return kExitOk;
    std::string error;
    int status = RunMailer(InstallFolder() / kMailerProgram, error);
    if (status == 0) return kExitOk;
    if (error.empty()) error = "Wardpost ended with status " + std::to_string(status);
    session.err << "wardctl: the queued notifications were not sent (" << error
                << "); they stay queued.\n";
    return kExitMailNotSent;
}

int SendMailCommand(WardctlSession& session, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return ReportUsage(session.err, "send-mail takes no arguments");
    }
    return SendQueuedMail(session);
}

}  // namespace wardlet
