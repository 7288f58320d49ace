#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/mail_config.h"
#include "monitor/model/options.h"

namespace wardlet {

// What a check announces and how, read afresh at every announcement.
struct NotifySettings {
    bool soundOnChange = false;
    bool soundOnFailure = false;
    bool selectOnChange = false;
    bool selectOnFailure = false;
    bool openPageOnChange = false;
    bool mailQueueActive = false;  // the mailer timer runs (follows sendEmail)
    MailConfig mail{};             // the e-mail configuration in force
};

// The engine's view of the monitor's settings, so that the engine needs nothing of the
// application layer. The monitor adapts its options to it; it is read from check threads and the
// caller's thread alike, so implementations must be thread-safe.
class EngineSettings {
public:
    virtual ~EngineSettings() = default;
    // threadCount made valid: a value of 0 or above 5 (compared unsigned) becomes 1 in the
    // setting itself. Returns 1 to 5.
    virtual int32_t CorrectedThreadCount() = 0;
    virtual NotifySettings Notification() = 0;
    // Web documents are fetched with the validators of their last answer (If-None-Match,
    // If-Modified-Since); off for servers that answer 304 to a body that did change.
    virtual bool ConditionalRequests() = 0;
};

// A size such as "1048576", "512K", "64M" or "1G"; nullopt when it is not a positive size.
std::optional<int64_t> ParseByteSize(std::string_view text);

// Settings held in memory, for wardctl and the tests.
class FixedEngineSettings : public EngineSettings {
public:
    explicit FixedEngineSettings(int32_t threadCount = 1, NotifySettings notify = {})
        : threadCount_(threadCount), notify_(notify) {}
    int32_t CorrectedThreadCount() override;
    NotifySettings Notification() override;
    bool ConditionalRequests() override;
    int32_t threadCount() const;
    void SetThreadCount(int32_t threadCount);
    void SetNotification(const NotifySettings& notify);
    void SetConditionalRequests(bool on);

private:
    mutable std::mutex lock_;
    int32_t threadCount_;
    NotifySettings notify_;
    bool conditionalRequests_ = true;
};

// Limits that keep a transfer from hanging, and the trust store for HTTPS. The defaults are the
// product's; tests lower the time-outs so stall cases stay quick.
struct TransferLimits {
    long connectTimeoutSeconds = 30;
    long lowSpeedBytesPerSecond = 1;  // a transfer slower than this ...
    long lowSpeedSeconds = 60;        // ... for this long is abandoned
    // A web or FTP document longer than this is not fetched whole: the transfer stops and the
    // check ends Unavailable, so an endless body cannot fill the disk. Local files have no limit.
    int64_t maxDocumentBytes = int64_t{256} << 20;
    // No transfer takes longer, however steadily a slow server drips its body.
    long maxTransferSeconds = 600;
    // Certificate authorities to trust instead of the system's (a PEM bundle); empty = system.
    std::string caBundle;
    // The certificates of several such files joined, used instead of caBundle when not empty.
    std::string caCertificates;

    // The defaults, with the authorities of CURL_CA_BUNDLE and SSL_CERT_FILE (TrustedCaFiles) and
    // maxDocumentBytes from WARDLET_MAX_DOCUMENT_BYTES (bytes, or with a K, M or G suffix) and
    // maxTransferSeconds from WARDLET_MAX_TRANSFER_SECONDS.
    static TransferLimits FromEnvironment();
};

}  // namespace wardlet
