#include "mailer/smtp/server_text.h"

#include <arpa/inet.h>
#include <strings.h>

#include <string_view>

namespace wardlet::smtp {
namespace {

constexpr size_t kMaxHostLength = 255;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::optional<uint16_t> PortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    unsigned long value = std::stoul(std::string(digits));
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

std::optional<ServerText> ParseServerText(const std::string& text, uint16_t defaultPort) {
    std::string_view rest = text;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t'))
        rest.remove_suffix(1);
    ServerText server;
    server.port = defaultPort;
    if (StartsWithNoCase(rest, "smtps://")) {
        rest.remove_prefix(8);
        server.implicitTls = true;
        server.port = htons(kImplicitTlsPort);
    } else if (StartsWithNoCase(rest, "smtp://")) {
        rest.remove_prefix(7);
    } else if (StartsWithNoCase(rest, "smtp+insecure://")) {
        rest.remove_prefix(16);
        server.passwordInClear = true;
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);  // as a URL is often typed
    size_t colon = rest.rfind(':');
    if (colon != std::string_view::npos) {
        auto port = PortNumber(rest.substr(colon + 1));
        if (!port) return std::nullopt;
        server.port = htons(*port);
        if (*port == kImplicitTlsPort) server.implicitTls = true;
        rest = rest.substr(0, colon);
    }
    if (rest.empty() || rest.size() > kMaxHostLength ||
        rest.find_first_of(" \t\r\n/") != std::string_view::npos)
        return std::nullopt;
    server.host = rest;
    return server;
}

}  // namespace wardlet::smtp
