#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace wardlet {

inline constexpr char kMailConfigFile[] = "Wardlet.mail";
inline constexpr char kMailConfigTestFile[] = "Wardlet.mail.tmp";

// The e-mail settings both programs share, stored as exactly these 496 bytes. Flags count as on
// as described where they are used; texts are zero-terminated in 80 bytes.
struct MailConfig {
    int32_t sendOnChange;
    int32_t sendOnUnreachable;
    int32_t requiresAuth;
    char smtpUserName[80];
    char smtpPassword[80];
    char smtpServer[80];
    char toAddress[80];
    char ccAddress[80];
    char bccAddress[80];
    int32_t markNotifiedChecked;
};
static_assert(sizeof(MailConfig) == 496);
static_assert(offsetof(MailConfig, sendOnChange) == 0);
static_assert(offsetof(MailConfig, sendOnUnreachable) == 4);
static_assert(offsetof(MailConfig, requiresAuth) == 8);
static_assert(offsetof(MailConfig, smtpUserName) == 12);
static_assert(offsetof(MailConfig, smtpPassword) == 92);
static_assert(offsetof(MailConfig, smtpServer) == 172);
static_assert(offsetof(MailConfig, toAddress) == 252);
static_assert(offsetof(MailConfig, ccAddress) == 332);
static_assert(offsetof(MailConfig, bccAddress) == 412);
static_assert(offsetof(MailConfig, markNotifiedChecked) == 492);

using MailConfigBytes = std::array<unsigned char, sizeof(MailConfig)>;

MailConfigBytes ToBytes(const MailConfig& config);
// Reads the first min(length, 496) bytes; the rest of the record is zero.
MailConfig MailConfigFromBytes(const unsigned char* bytes, size_t length);

// The monitor's read: a missing or short file leaves the unread rest zero.
MailConfig ReadMailConfigLenient(const std::filesystem::path& file);

enum class MailConfigRead { Ok, CannotOpen, TooShort };
// The mailer's read: only a whole 496-byte block counts (a longer file contributes its first 496
// bytes). `out` is zero unless the result is Ok.
MailConfigRead ReadMailConfigStrict(const std::filesystem::path& file, MailConfig& out);

// Replaces the file atomically, readable by the user only (it holds the SMTP password).
[[nodiscard]] bool WriteMailConfig(const std::filesystem::path& file, const MailConfig& config);

}  // namespace wardlet
