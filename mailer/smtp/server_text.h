#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace wardlet::smtp {

inline constexpr uint16_t kImplicitTlsPort = 465;

// Where and how to reach the mail server. TLS from the first byte (implicit TLS) is asked for by
// "smtps://host[:port]" (port 465 unless given) or by port 465 itself; "host[:port]" and
// "smtp://host[:port]" start in plain text and use STARTTLS when the server offers it.
// "smtp+insecure://host[:port]" is the same, except that the password may then go out without
// TLS to a server that offers none: anyone on the way can read it.
struct ServerText {
    std::string host;
    uint16_t port = 0;  // network byte order
    bool implicitTls = false;
    bool passwordInClear = false;
};

// nullopt for an empty host, a port outside 1 to 65535 or a host holding a line break or space.
// `defaultPort` (network byte order) is the port of a bare or "smtp://" text.
std::optional<ServerText> ParseServerText(const std::string& text, uint16_t defaultPort);

}  // namespace wardlet::smtp
