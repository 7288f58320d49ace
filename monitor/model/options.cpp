#include "monitor/model/options.h"

#include <cstdio>
#include <cstring>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"
#include "common/little_endian.h"

namespace wardlet {

int32_t CorrectThreadCount(int32_t& threadCount) {
    auto count = static_cast<uint32_t>(threadCount);
    if (count < kMinThreadCount || count > kMaxThreadCount) threadCount = kMinThreadCount;
    return threadCount;
}

const std::array<OptionField, 11> kOptionFields = {{
    {"periodicCheck", &MonitorOptions::periodicCheck},
    {"checkPeriodMinutes", &MonitorOptions::checkPeriodMinutes},
    {"startupCheck", &MonitorOptions::startupCheck},
    {"soundOnChange", &MonitorOptions::soundOnChange},
    {"openPageOnChange", &MonitorOptions::openPageOnChange},
    {"soundOnFailure", &MonitorOptions::soundOnFailure},
    {"markCheckedOnOpen", &MonitorOptions::markCheckedOnOpen},
    {"sendEmail", &MonitorOptions::sendEmail},
    {"selectOnChange", &MonitorOptions::selectOnChange},
    {"selectOnFailure", &MonitorOptions::selectOnFailure},
    {"threadCount", &MonitorOptions::threadCount},
}};

const OptionField* FindOptionField(std::string_view name) {
    for (const auto& field : kOptionFields)
        if (field.name == name) return &field;
    return nullptr;
}

MonitorOptions DefaultOptions() {
    MonitorOptions o{};
    o.periodicCheck = 1;
    o.checkPeriodMinutes = 10;
    o.startupCheck = 1;
    o.soundOnChange = 1;
    o.openPageOnChange = 0;
    o.soundOnFailure = 1;
    o.markCheckedOnOpen = 1;
    o.sendEmail = 0;
    o.selectOnChange = 1;
    o.selectOnFailure = 1;
    o.threadCount = 2;
    return o;
}

OptionsBytes ToBytes(const MonitorOptions& options) {
    OptionsBytes bytes{};
    for (size_t i = 0; i < kOptionFields.size(); ++i)
        StoreLe32(bytes.data() + 4 * i, options.*kOptionFields[i].member);
    return bytes;
}

MonitorOptions OptionsFromBytes(const unsigned char* bytes, size_t length) {
    OptionsBytes full{};
    memcpy(full.data(), bytes, length < full.size() ? length : full.size());
    MonitorOptions options{};
    for (size_t i = 0; i < kOptionFields.size(); ++i)
        options.*kOptionFields[i].member = LoadLe32(full.data() + 4 * i);
    return options;
}

std::optional<MonitorOptions> ReadOptionsFile(const std::filesystem::path& dataFolder) {
    FILE* in = OpenDataFileForReading(dataFolder / kOptionsFile);
    if (!in) return std::nullopt;
    OptionsBytes bytes{};
    size_t n = fread(bytes.data(), 1, bytes.size(), in);
    fclose(in);
    return OptionsFromBytes(bytes.data(), n);
}

MonitorOptions LoadOptions(const std::filesystem::path& dataFolder) {
    if (auto options = ReadOptionsFile(dataFolder)) return *options;
    MonitorOptions defaults = DefaultOptions();
    // The defaults still apply for this run; the next start tries the write again.
    if (!SaveOptions(dataFolder, defaults)) DebugLog("cannot write the default options file");
    return defaults;
}

bool SaveOptions(const std::filesystem::path& dataFolder, const MonitorOptions& options) {
    OptionsBytes bytes = ToBytes(options);
    return ReplaceFileAtomically(
        dataFolder / kOptionsFile,
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::chrono::milliseconds PeriodicCheckInterval(const MonitorOptions& options) {
    int64_t minutes = options.checkPeriodMinutes > 0 ? options.checkPeriodMinutes : 10;
    return std::chrono::milliseconds(minutes * 60000);
}

}  // namespace wardlet
