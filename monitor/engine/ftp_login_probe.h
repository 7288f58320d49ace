#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/engine/engine_settings.h"
#include "monitor/engine/transfer.h"

namespace wardlet {

// The properties dialog's "Connect..." test of an FTP location: log in, change to the directory,
// download the file once into a temporary file that is removed again. Display-free; the dialog
// runs it on a thread of its own and shows each step as it is reported.

// The address as the test takes it: the engine's split, and invalid also when its only separator
// is the first character (there is no host then).
std::optional<FtpLocation> SplitFtpProbeAddress(std::string_view location);

enum class FtpProbeStep { Connect, ChangeDirectory, GetFile };
enum class FtpStepState { Started, Succeeded, Failed };

enum class FtpProbeResult { Succeeded, ConnectFailed, DirectoryFailed, GetFailed, Stopped };

struct FtpProbeRequest {
    FtpLocation location;
    bool useAccount = false;
    std::string userName;
    std::string password;
    std::filesystem::path dataFolder;  // where the temporary file goes
};

// Called as each step starts and ends (not after a stop request). A failed step comes with its
// reason in words (the server's own reply where it gave one), otherwise the reason is empty.
using FtpStepReport = std::function<void(FtpProbeStep, FtpStepState, const std::string& reason)>;

// Runs the steps in order; the first failure ends the test. A directory step is made only when
// the location has a directory. An "ftps://" location runs every step over TLS, as a check
// does. No temporary file is left behind in any case.
[[nodiscard]] FtpProbeResult ProbeFtpLogin(const FtpProbeRequest& request,
                                           const TransferLimits& limits,
                                           const std::atomic<bool>& stop,
                                           const FtpStepReport& report);

}  // namespace wardlet
