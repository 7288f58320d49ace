#include "common/mail_config.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/atomic_file.h"
#include "common/fd_io.h"
#include "common/little_endian.h"

namespace wardlet {
namespace {

// Reads up to `max` bytes of the file; -1 when it cannot be opened.
long ReadPrefix(const std::filesystem::path& file, unsigned char* out, size_t max) {
    FILE* in = OpenDataFileForReading(file);
    if (!in) return -1;
    size_t n = fread(out, 1, max, in);
    fclose(in);
    return static_cast<long>(n);
}

}  // namespace

MailConfigBytes ToBytes(const MailConfig& config) {
    MailConfigBytes bytes{};
    memcpy(bytes.data(), &config, sizeof config);
    StoreLe32(bytes.data() + offsetof(MailConfig, sendOnChange), config.sendOnChange);
    StoreLe32(bytes.data() + offsetof(MailConfig, sendOnUnreachable), config.sendOnUnreachable);
    StoreLe32(bytes.data() + offsetof(MailConfig, requiresAuth), config.requiresAuth);
    StoreLe32(bytes.data() + offsetof(MailConfig, markNotifiedChecked), config.markNotifiedChecked);
    return bytes;
}

MailConfig MailConfigFromBytes(const unsigned char* bytes, size_t length) {
    MailConfigBytes full{};
    memcpy(full.data(), bytes, length < full.size() ? length : full.size());
    MailConfig config;
    memcpy(&config, full.data(), sizeof config);
    config.sendOnChange = LoadLe32(full.data() + offsetof(MailConfig, sendOnChange));
    config.sendOnUnreachable = LoadLe32(full.data() + offsetof(MailConfig, sendOnUnreachable));
    config.requiresAuth = LoadLe32(full.data() + offsetof(MailConfig, requiresAuth));
    config.markNotifiedChecked = LoadLe32(full.data() + offsetof(MailConfig, markNotifiedChecked));
    return config;
}

MailConfig ReadMailConfigLenient(const std::filesystem::path& file) {
    MailConfigBytes bytes{};
    long n = ReadPrefix(file, bytes.data(), bytes.size());
    return MailConfigFromBytes(bytes.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

MailConfigRead ReadMailConfigStrict(const std::filesystem::path& file, MailConfig& out) {
    out = MailConfig{};
    MailConfigBytes bytes{};
    long n = ReadPrefix(file, bytes.data(), bytes.size());
    if (n < 0) return MailConfigRead::CannotOpen;
    if (static_cast<size_t>(n) < bytes.size()) return MailConfigRead::TooShort;
    out = MailConfigFromBytes(bytes.data(), bytes.size());
    return MailConfigRead::Ok;
}

bool WriteMailConfig(const std::filesystem::path& file, const MailConfig& config) {
    auto bytes = ToBytes(config);
    return ReplaceFileAtomically(
        file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), 0600);
}

}  // namespace wardlet
