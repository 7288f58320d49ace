#include "monitor/engine/ftp_connection_test.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/fd_io.h"
#include "common/temp_file.h"

namespace wardlet {
namespace {

TransferRequest RequestFor(const FtpTestRequest& test, std::string url, bool loginOnly) {
    TransferRequest request;
    request.url = std::move(url);
    request.ftp = true;
    request.loginOnly = loginOnly;
    request.useAccount = test.useAccount;
    if (test.useAccount) {
        request.userName = test.userName;
        request.password = test.password;
    }
    return request;
}

// Downloads the file into a new temporary file and removes it again, whatever the outcome.
TransferOutcome DownloadOnce(const FtpTestRequest& test, const TransferLimits& limits,
                             const std::atomic<bool>& stop) {
    // Without a file name there is nothing to get (the address would name a folder listing).
    if (test.location.file.empty()) return TransferOutcome::Failed;
    auto temp = CreateTempFile(test.dataFolder);
    if (!temp) return TransferOutcome::SinkFailed;
    TransferOutcome outcome;
    {
        UniqueFd out(open(temp->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (out.get() < 0) {
            outcome = TransferOutcome::SinkFailed;
        } else {
            outcome = Transfer(
                RequestFor(test, FtpUrl(test.location), false),
                [&](const char* data, size_t size) {
                    return WriteAll(out.get(), std::string_view(data, size));
                },
                limits, stop);
        }
    }
    unlink(temp->c_str());
    return outcome;
}

}  // namespace

std::optional<FtpLocation> SplitFtpTestAddress(std::string_view location) {
    auto split = SplitFtpLocation(location);
    // The file name is looked for down to the second character only, so "/file" has no host
    // and no file separator of its own.
    if (split && split->host.empty() && !split->directory) return std::nullopt;
    return split;
}

FtpTestResult RunFtpConnectionTest(const FtpTestRequest& request, const TransferLimits& limits,
                                   const std::atomic<bool>& stop, const FtpStepReport& report) {
    auto step = [&](FtpTestStep which, TransferOutcome outcome) {
        if (outcome == TransferOutcome::Stopped || stop.load()) return false;
        bool ok = outcome == TransferOutcome::Done;
        report(which, ok ? FtpStepState::Succeeded : FtpStepState::Failed);
        return ok;
    };

    report(FtpTestStep::Connect, FtpStepState::Started);
    FtpLocation root{request.location.host, std::nullopt, ""};
    if (!step(FtpTestStep::Connect, Transfer(
                                        RequestFor(request, FtpUrl(root), true),
                                        [](const char*, size_t) { return true; }, limits, stop)))
        return stop.load() ? FtpTestResult::Stopped : FtpTestResult::ConnectFailed;

    const auto& directory = request.location.directory;
    if (directory && !directory->empty()) {
        report(FtpTestStep::ChangeDirectory, FtpStepState::Started);
        FtpLocation folder{request.location.host, directory, ""};
        if (!step(FtpTestStep::ChangeDirectory,
                  Transfer(
                      RequestFor(request, FtpUrl(folder), true),
                      [](const char*, size_t) { return true; }, limits, stop)))
            return stop.load() ? FtpTestResult::Stopped : FtpTestResult::DirectoryFailed;
    }

    report(FtpTestStep::GetFile, FtpStepState::Started);
    if (!step(FtpTestStep::GetFile, DownloadOnce(request, limits, stop)))
        return stop.load() ? FtpTestResult::Stopped : FtpTestResult::GetFailed;
    return FtpTestResult::Succeeded;
}

}  // namespace wardlet
