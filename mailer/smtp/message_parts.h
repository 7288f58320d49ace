#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mailer/smtp/body_encoding.h"

namespace wardlet::smtp {

// The character set of 8-bit text: the locale's 8-bit encoding, which is UTF-8 here.
inline constexpr char kEightBitCharset[] = "UTF-8";
// The charset a text body declares: its own for 8-bit text, else the usual "iso-8859-1".
inline std::string TextCharset(std::string_view text) {
    return HasEightBitBytes(text) ? kEightBitCharset : "iso-8859-1";
}

struct CSmtpAddress {
    std::string displayName;  // shown in quotes before the address; may be empty
    std::string address;      // mailbox without angle brackets

    CSmtpAddress() = default;
    // Implicit from a plain address text, so the session's operations take either form.
    CSmtpAddress(std::string address, std::string displayName = {})
        : displayName(std::move(displayName)), address(std::move(address)) {}
    CSmtpAddress(const char* address) : CSmtpAddress(std::string(address ? address : "")) {}
};

struct CSmtpMessageBody {
    std::string contentType;
    std::string charset;  // written only for "text/" types
    std::string contentId;
    SmtpEncoding encoding = kEncodingAuto;
    std::string text;  // lines ended by CR LF

    CSmtpMessageBody() = default;
    CSmtpMessageBody(std::string text, std::string contentType, std::string charset,
                     SmtpEncoding encoding)
        : contentType(std::move(contentType)),
          charset(std::move(charset)),
          encoding(encoding),
          text(std::move(text)) {}
};

struct CSmtpAttachment {
    std::string contentType;  // when not empty, overrides the type found for the file
    std::string charset = "iso-8859-1";
    std::string contentId;
    SmtpEncoding encoding = kEncodingAuto;
    std::string path;
    std::string displayName;  // empty: the file name part of `path`
    int32_t inlineDisposition = 0;

    CSmtpAttachment() = default;
    CSmtpAttachment(std::string path, std::string displayName = {}, int32_t inlineDisposition = 0,
                    std::string contentType = {}, std::string charset = "iso-8859-1",
                    SmtpEncoding encoding = kEncodingAuto)
        : contentType(std::move(contentType)),
          charset(std::move(charset)),
          encoding(encoding),
          path(std::move(path)),
          displayName(std::move(displayName)),
          inlineDisposition(inlineDisposition) {}
};

}  // namespace wardlet::smtp
