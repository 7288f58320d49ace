#include "monitor/engine/ftp_login_probe.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/fd_io.h"
#include "common/temp_file.h"

namespace wardlet {
namespace {

TransferRequest RequestFor(const FtpProbeRequest& test, const FtpLocation& location,
                           bool loginOnly) {
    TransferRequest request = FtpRequest(location);
    request.loginOnly = loginOnly;
    request.useAccount = test.useAccount;
    if (test.useAccount) {
        request.userName = test.userName;
        request.password = test.password;
    }
    return request;
}

// Downloads the file into a new temporary file and removes it again, whatever the outcome.
TransferOutcome DownloadOnce(const FtpProbeRequest& test, const TransferLimits& limits,
                             const std::atomic<bool>& stop, std::string& reason) {
    // Without a file name there is nothing to get (the address would name a folder listing).
    if (test.location.file.empty()) {
        reason = "the address names a folder, not a file";
        return TransferOutcome::Failed;
    }
    auto temp = CreateTempFile(test.dataFolder);
    if (!temp) {
        reason = "no temporary file can be made in the data folder";
        return TransferOutcome::SinkFailed;
    }
    TransferOutcome outcome;
    {
        UniqueFd out = OpenDataFile(*temp, DataFileMode::Rewrite);
        if (out.get() < 0) {
            outcome = TransferOutcome::SinkFailed;
            reason = "the temporary file cannot be written";
        } else {
            outcome = Transfer(
                RequestFor(test, test.location, false),
                [&](const char* data, size_t size) {
                    return WriteAll(out.get(), std::string_view(data, size));
                },
                limits, stop, &reason);
        }
    }
    unlink(temp->c_str());
    return outcome;
}

}  // namespace

std::optional<FtpLocation> SplitFtpProbeAddress(std::string_view location) {
    auto split = SplitFtpLocation(location);
    // The file name is looked for down to the second character only, so "/file" has no host
    // and no file separator of its own.
    if (split && split->host.empty() && !split->directory) return std::nullopt;
    return split;
}

FtpProbeResult ProbeFtpLogin(const FtpProbeRequest& request, const TransferLimits& limits,
                             const std::atomic<bool>& stop, const FtpStepReport& report) {
    std::string reason;
    auto step = [&](FtpProbeStep which, TransferOutcome outcome) {
        if (outcome == TransferOutcome::Stopped || stop.load()) return false;
        bool ok = outcome == TransferOutcome::Done;
        report(which, ok ? FtpStepState::Succeeded : FtpStepState::Failed, ok ? "" : reason);
        return ok;
    };
    auto loginTo = [&](const FtpLocation& where) {
        reason.clear();
        return Transfer(
            RequestFor(request, where, true), [](const char*, size_t) { return true; }, limits,
            stop, &reason);
    };

    report(FtpProbeStep::Connect, FtpStepState::Started, "");
    FtpLocation root{request.location.host, std::nullopt, "", request.location.tls};
    if (!step(FtpProbeStep::Connect, loginTo(root)))
        return stop.load() ? FtpProbeResult::Stopped : FtpProbeResult::ConnectFailed;

    const auto& directory = request.location.directory;
    if (directory && !directory->empty()) {
        report(FtpProbeStep::ChangeDirectory, FtpStepState::Started, "");
        FtpLocation folder{request.location.host, directory, "", request.location.tls};
        if (!step(FtpProbeStep::ChangeDirectory, loginTo(folder)))
            return stop.load() ? FtpProbeResult::Stopped : FtpProbeResult::DirectoryFailed;
    }

    report(FtpProbeStep::GetFile, FtpStepState::Started, "");
    reason.clear();
    if (!step(FtpProbeStep::GetFile, DownloadOnce(request, limits, stop, reason)))
        return stop.load() ? FtpProbeResult::Stopped : FtpProbeResult::GetFailed;
    return FtpProbeResult::Succeeded;
}

}  // namespace wardlet
