#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mailer/smtp/local_time.h"
#include "mailer/smtp/message_parts.h"

namespace wardlet::smtp {

enum MultipartType : int32_t {
    kMultipartChoose = 0,
    kMultipartMixed = 1,
    kMultipartAlternative = 2,
    kMultipartRelated = 3,
};

// A unique Message-ID value (without angle brackets) ending in this host's name.
std::string MakeMessageId();
// `text` as a header value: 8-bit text as "=?UTF-8?B?...?=" words of whole characters, folded
// onto continuation lines; anything else as it is, line breaks turned into spaces.
std::string HeaderText(std::string_view text);

// Header fields in the order they were added; names compare exactly. Compose writes them from
// the last entry to the first.
class HeaderList {
public:
    using Entry = std::pair<std::string, std::string>;

    const std::string* Find(std::string_view name) const;
    void Remove(std::string_view name);
    void Append(std::string name, std::string value);
    // Remove the entry of that name, then append the new one at the end.
    void Replace(std::string name, std::string value);
    // An existing entry (and its place) is left alone.
    void AddIfAbsent(std::string name, std::string value);
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};

// One outgoing e-mail and its composition into the text sent after DATA.
class CSmtpMessage {
public:
    CSmtpMessage();

    CSmtpAddress sender;
    CSmtpAddress recipient;
    std::string subject;
    std::vector<CSmtpMessageBody> bodies;
    std::vector<CSmtpAddress> ccRecipients;   // written into To, and sent RCPT TO
    std::vector<CSmtpAddress> bccRecipients;  // RCPT TO only
    std::vector<CSmtpAttachment> attachments;
    HeaderList headers;
    SmtpTimestamp timestamp;
    int32_t multipartType = kMultipartChoose;
    std::string messageId;        // without angle brackets; Compose makes one when empty
    int32_t utcOffset = 0;        // hhmm, for example 100, -500, 530
    bool eightBitAllowed = true;  // false: parts that would go as 8bit go quoted-printable

    void AddBody(const CSmtpMessageBody& body) { bodies.push_back(body); }
    void AddCcRecipient(const CSmtpAddress& address) { ccRecipients.push_back(address); }
    void AddBccRecipient(const CSmtpAddress& address) { bccRecipients.push_back(address); }
    void AddAttachment(const CSmtpAttachment& attachment) { attachments.push_back(attachment); }

    // Brings the standard fields (priority, mailer, Date, Subject, To, From) into `headers`.
    void ComposeHeaders();
    // Replaces `out` with the whole message text, without the final "\r\n.\r\n". A subject or
    // display name with 8-bit bytes is written as RFC 2047 encoded words.
    void Compose(std::string& out);

private:
    void ComposeBodyPart(std::string& out, const CSmtpMessageBody& body) const;
    void ComposeAttachment(std::string& out, const CSmtpAttachment& attachment,
                           const std::string& outerBoundary) const;
};

}  // namespace wardlet::smtp
