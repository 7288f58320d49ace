#include "mailer/smtp/smtp_message.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <optional>
#include <random>

#include "common/fd_io.h"
#include "mailer/smtp/base64.h"
#include "mailer/smtp/mime_types.h"
#include "mailer/smtp/socket_io.h"

namespace wardlet::smtp {
namespace {

// The encoder counts in 32 bits and doubles the size for its buffer; bigger files are left out
// like unreadable ones.
constexpr std::uintmax_t kMaxAttachmentBytes = 1u << 30;

std::string Boundary(const char* prefix) {
    char text[64];
    snprintf(text, sizeof text, "%s%8.8X", prefix, TickCount());
    return text;
}

bool IsTextType(std::string_view type) {
    return type.size() >= 5 && strncasecmp(type.data(), "text/", 5) == 0;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A display name as a header phrase: a quoted string (quotes and backslashes escaped, line
// breaks dropped), or encoded words for 8-bit text.
std::string Phrase(std::string_view name) {
    if (HasEightBitBytes(name)) return HeaderText(name);
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '\r' || c == '\n') continue;
        if (c == '"' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted + "\"";
}

// `"Name" <address>`, the name part only when there is one.
std::string NamedAddress(const CSmtpAddress& who) {
    std::string value;
    if (!who.displayName.empty()) value += Phrase(who.displayName) + " ";
    value += "<" + who.address + ">";
    return value;
}

std::string Base64Of(std::string_view bytes) {
    CBase64 base64;
    base64.Encode(reinterpret_cast<const uint8_t*>(bytes.data()),
                  static_cast<uint32_t>(bytes.size()));
    return std::string(base64.GetEncoded(), base64.encodedLength());
}

// The host part of a Message-ID: the computer's name as far as it is a valid domain text.
std::string MessageIdDomain() {
    std::string name = ComputerName();
    for (char& c : name) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '-';
    }
    return name;
}

const char* MultipartName(int32_t type) {
    switch (type) {
        case kMultipartMixed:
            return "mixed";
        case kMultipartAlternative:
            return "alternative";
        case kMultipartRelated:
            return "related";
        default:
            return "";
    }
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec || size >= kMaxAttachmentBytes) return std::nullopt;
    std::optional<std::string> data = ReadSystemFile(path);
    // It may have grown since its size was taken.
    if (data && data->size() >= kMaxAttachmentBytes) return std::nullopt;
    return data;
}

// The name a recipient sees: the display name, else the path's last component.
std::string ShownName(const CSmtpAttachment& attachment) {
    if (!attachment.displayName.empty()) return attachment.displayName;
    size_t slash = attachment.path.find_last_of("/\\");
    return slash == std::string::npos ? attachment.path : attachment.path.substr(slash + 1);
}

std::string AttachmentType(const CSmtpAttachment& attachment, const std::string& shownName) {
    if (!attachment.contentType.empty()) return attachment.contentType;
    size_t dot = shownName.find('.');
    if (dot != std::string::npos) {
        std::string found = LookUpContentType(std::string_view(shownName).substr(dot));
        if (!found.empty()) return found;
    }
    return kDefaultContentType;
}

}  // namespace

std::string MakeMessageId() {
    static std::atomic<uint32_t> counter{0};
    std::random_device random;
    SmtpTimestamp now = CurrentLocalTime();
    char text[96];
    snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u.%08X%08X.%X.%u@", unsigned(now.year),
             unsigned(now.month), unsigned(now.day), unsigned(now.hour), unsigned(now.minute),
             unsigned(now.second), random(), random(), unsigned(getpid()), counter++);
    return text + MessageIdDomain();
}

std::string HeaderText(std::string_view text) {
    if (!HasEightBitBytes(text)) {
        std::string plain(text);
        for (char& c : plain) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        return plain;
    }
    // 39 bytes make a word of 64 characters, so even "Subject: " and the word stay within the
    // 76 characters a line with encoded words may have.
    constexpr size_t kWordBytes = 39;
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t n = std::min(kWordBytes, text.size() - pos);
        size_t whole = n;
        while (whole > 0 && pos + whole < text.size() &&
               (static_cast<uint8_t>(text[pos + whole]) & 0xC0) == 0x80)
            --whole;
        if (whole > 0) n = whole;  // else not UTF-8 at all: any cut will do
        if (!out.empty()) out += "\r\n ";
        out += std::string("=?") + kEightBitCharset + "?B?" + Base64Of(text.substr(pos, n)) + "?=";
        pos += n;
    }
    return out;
}

const std::string* HeaderList::Find(std::string_view name) const {
    for (const auto& entry : entries_) {
        if (entry.first == name) return &entry.second;
    }
    return nullptr;
}

void HeaderList::Remove(std::string_view name) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.first == name; });
    if (it != entries_.end()) entries_.erase(it);
}

void HeaderList::Append(std::string name, std::string value) {
    entries_.emplace_back(std::move(name), std::move(value));
}

void HeaderList::Replace(std::string name, std::string value) {
    Remove(name);
    Append(std::move(name), std::move(value));
}

void HeaderList::AddIfAbsent(std::string name, std::string value) {
    if (!Find(name)) Append(std::move(name), std::move(value));
}

CSmtpMessage::CSmtpMessage() : timestamp(CurrentLocalTime()), utcOffset(CurrentUtcOffset()) {}

void CSmtpMessage::ComposeHeaders() {
    headers.AddIfAbsent("X-Priority", "3 (Normal)");
    headers.AddIfAbsent("X-MSMail-Priority", "Normal");
    headers.AddIfAbsent("X-Mailer", "Wardpost");
    headers.AddIfAbsent("Importance", "Normal");
    headers.Replace("Date", FormatDateHeader(timestamp, utcOffset));
    headers.Replace("Subject", HeaderText(subject));

    std::string to;
    if (!recipient.displayName.empty()) to += Phrase(recipient.displayName) + " ";
    if (!recipient.address.empty()) to += "<" + recipient.address + ">";
    for (const auto& cc : ccRecipients) {
        if (!to.empty()) to += ",\r\n\t";
        to += NamedAddress(cc);
    }
    headers.Replace("To", to);
    headers.Replace("From", NamedAddress(sender));
}

void CSmtpMessage::Compose(std::string& out) {
    out.clear();
    headers.Remove("Content-Type");

    std::string outer;
    if (bodies.size() + attachments.size() > 1) {
        outer = Boundary("CSmtpMsgPart123X456_000_");
        if (multipartType == kMultipartChoose)
            multipartType = attachments.empty() ? kMultipartAlternative : kMultipartMixed;
        headers.Append("Content-Type", std::string("multipart/") + MultipartName(multipartType) +
                                           ";\r\n\tboundary=" + Quoted(outer));
    }
    headers.Replace("MIME-Version", "1.0");
    headers.Remove("Message-ID");
    if (messageId.empty()) messageId = MakeMessageId();  // mail without one looks like spam
    headers.Append("Message-ID", "<" + messageId + ">");
    ComposeHeaders();

    const auto& entries = headers.entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        out += it->first + ": " + it->second + "\r\n";

    if (!outer.empty()) out += "\r\nThis is a multipart message in MIME format\r\n";

    std::string inner;
    if (!attachments.empty() && bodies.size() > 1 && !outer.empty()) {
        inner = Boundary("CSmtpMsgPart123X456_001_");
        out += "\r\n--" + outer +
               "\r\nContent-Type: multipart/alternative;\r\n\tboundary=" + Quoted(inner) + "\r\n";
    }
    for (const auto& body : bodies) {
        if (!outer.empty()) out += "\r\n--" + (inner.empty() ? outer : inner) + "\r\n";
        ComposeBodyPart(out, body);
    }
    if (!inner.empty()) out += "\r\n--" + inner + "--\r\n";
    for (const auto& attachment : attachments)
        ComposeAttachment(out, attachment, outer);
    if (!outer.empty()) out += "\r\n--" + outer + "--\r\n";
}

void CSmtpMessage::ComposeBodyPart(std::string& out, const CSmtpMessageBody& body) const {
    out += "Content-Type: " + body.contentType;
    if (IsTextType(body.contentType)) out += ";\r\n\tcharset=" + Quoted(body.charset);
    out += "\r\n";
    std::string encoded = body.text;
    std::string encodingName;
    EncodeBody(body.encoding, encoded, encodingName, std::nullopt, eightBitAllowed);
    out += "Content-Transfer-Encoding: " + encodingName;
    if (!body.contentId.empty()) out += "\r\nContent-ID: <" + body.contentId + ">";
    out += "\r\n\r\n" + encoded;
}

void CSmtpMessage::ComposeAttachment(std::string& out, const CSmtpAttachment& attachment,
                                     const std::string& outerBoundary) const {
    auto data = ReadWholeFile(attachment.path);
    if (!data) return;  // an unreadable file is left out; the rest of the message goes on
    if (!outerBoundary.empty()) out += "\r\n--" + outerBoundary + "\r\n";
    std::string shown = ShownName(attachment);
    std::string type = AttachmentType(attachment, shown);
    out += "Content-Type: " + type;
    if (IsTextType(type)) out += ";\r\n\tcharset=" + Quoted(attachment.charset);
    out += ";\r\n\tname=" + Quoted(shown) + "\r\n";

    std::string encoded;
    std::string encodingName;
    SmtpEncoding encoding = attachment.encoding;
    // A file that is not text has line ends that are data: only base64 carries a lone CR or LF
    // unchanged (the text encodings send CR LF lines).
    if (encoding == kEncodingAuto && !IsTextType(type) && NormalizeLineEnds(*data) != *data)
        encoding = kEncodingBase64;
    EncodeBody(encoding, encoded, encodingName, std::string_view(*data), eightBitAllowed);
    out += "Content-Transfer-Encoding: " + encodingName + "\r\n";
    out += std::string("Content-Disposition: ") +
           (attachment.inlineDisposition != 0 ? "inline" : "attachment") +
           ";\r\n\tfilename=" + Quoted(shown);
    if (!attachment.contentId.empty()) out += "\r\nContent-ID: <" + attachment.contentId + ">";
    out += "\r\n\r\n" + encoded;
}

}  // namespace wardlet::smtp
