#include "mail_oracle.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "file_bytes.h"
#include "peer_process.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

std::string CaptureOutput(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[8192];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("oracle failed: " + argv[2]);
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        char c = text[++i];
        out.push_back(c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c);
    }
    return out;
}

}  // namespace

std::string RunOracle(const std::string& mode, const std::string& input) {
    TempDir dir;
    auto file = dir.path() / "input";
    WriteBytes(file, input);
    return CaptureOutput({Python(), TestFile("mailer/smtp/oracle.py"), mode, file.string()});
}

namespace {

std::map<std::string, std::string> Facts(const std::string& mode, const std::string& message) {
    std::map<std::string, std::string> facts;
    std::istringstream lines(RunOracle(mode, message));
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) facts[line.substr(0, eq)] = Unescape(line.substr(eq + 1));
    }
    return facts;
}

}  // namespace

std::map<std::string, std::string> ParseMail(const std::string& message) {
    return Facts("mail", message);
}

std::map<std::string, std::string> ParseMailAsClientsDo(const std::string& message) {
    return Facts("modern", message);
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

}  // namespace wardlet::test
