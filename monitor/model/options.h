#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>

namespace wardlet {

inline constexpr char kOptionsFile[] = "Wardlet.option";

// The number of check threads a user can choose.
inline constexpr int32_t kMinThreadCount = 1;
inline constexpr int32_t kMaxThreadCount = 5;
// A stored count outside that range (compared unsigned, so a negative one is too) becomes 1.
int32_t CorrectThreadCount(int32_t& threadCount);

// The monitor's options, stored as exactly these 44 bytes. A flag is on only when it is 1.
struct MonitorOptions {
    int32_t periodicCheck;
    int32_t checkPeriodMinutes;
    int32_t startupCheck;
    int32_t soundOnChange;
    int32_t openPageOnChange;
    int32_t soundOnFailure;
    int32_t markCheckedOnOpen;
    int32_t sendEmail;
    int32_t selectOnChange;
    int32_t selectOnFailure;
    int32_t threadCount;
};
static_assert(sizeof(MonitorOptions) == 44);
static_assert(offsetof(MonitorOptions, periodicCheck) == 0);
static_assert(offsetof(MonitorOptions, checkPeriodMinutes) == 4);
static_assert(offsetof(MonitorOptions, startupCheck) == 8);
static_assert(offsetof(MonitorOptions, soundOnChange) == 12);
static_assert(offsetof(MonitorOptions, openPageOnChange) == 16);
static_assert(offsetof(MonitorOptions, soundOnFailure) == 20);
static_assert(offsetof(MonitorOptions, markCheckedOnOpen) == 24);
static_assert(offsetof(MonitorOptions, sendEmail) == 28);
static_assert(offsetof(MonitorOptions, selectOnChange) == 32);
static_assert(offsetof(MonitorOptions, selectOnFailure) == 36);
static_assert(offsetof(MonitorOptions, threadCount) == 40);

// The eleven fields by name, in file order (for wardctl and the tests).
struct OptionField {
    std::string_view name;
    int32_t MonitorOptions::*member;
};
extern const std::array<OptionField, 11> kOptionFields;
const OptionField* FindOptionField(std::string_view name);

MonitorOptions DefaultOptions();

using OptionsBytes = std::array<unsigned char, sizeof(MonitorOptions)>;
OptionsBytes ToBytes(const MonitorOptions& options);
// The first min(length, 44) bytes; zeros after them (a short file loses the defaults).
MonitorOptions OptionsFromBytes(const unsigned char* bytes, size_t length);

// The options file as it stands; nullopt when it cannot be opened.
std::optional<MonitorOptions> ReadOptionsFile(const std::filesystem::path& dataFolder);
// Start-up: the file's options, or the defaults, which are then written so they are on disk.
MonitorOptions LoadOptions(const std::filesystem::path& dataFolder);
// Replaces the file atomically; false when it could not be written (the old file stays).
[[nodiscard]] bool SaveOptions(const std::filesystem::path& dataFolder,
                               const MonitorOptions& options);

// Period of the periodic check. A value of 0 or below, possible only from a damaged file, falls
// back to 10 minutes instead of a zero or huge period.
std::chrono::milliseconds PeriodicCheckInterval(const MonitorOptions& options);

// The options of the run, shared by the window and the check threads, which read single fields.
class OptionsHolder {
public:
    explicit OptionsHolder(const MonitorOptions& options = DefaultOptions()) : options_(options) {}
    MonitorOptions Get() const {
        std::lock_guard guard(lock_);
        return options_;
    }
    void Set(const MonitorOptions& options) {
        std::lock_guard guard(lock_);
        options_ = options;
    }
    // The number of check threads to start, corrected in the held options (the file changes
    // only on the next save).
    int32_t CorrectedThreadCount() {
        std::lock_guard guard(lock_);
        return CorrectThreadCount(options_.threadCount);
    }

private:
    mutable std::mutex lock_;
    MonitorOptions options_;
};

}  // namespace wardlet
