#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wardlet::smtp {

// Small POSIX socket helpers for the session. Every wait has a limit so no step can hang.

enum class WaitResult { Ready, TimedOut, Failed };

// What is left of the time until `deadline`, in milliseconds (0 once it passed), for poll.
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline);

// Waits until `fd` is readable (or writable) for at most timeoutMs (0 = just poll).
WaitResult WaitForSocket(int fd, bool forWriting, int timeoutMs);

// A dotted IPv4 address, or the first IPv4 address of a host name; nullopt when it has none.
std::optional<in_addr> ResolveIPv4(const std::string& host);

// A connected TCP socket, or -1 when the connection fails or takes longer than timeoutMs.
int ConnectTcp(in_addr address, uint16_t portInNetworkOrder, int timeoutMs);

// Writes all of `bytes`, waiting at most timeoutMs for the socket to take each part.
bool SendAll(int fd, std::string_view bytes, int timeoutMs);

void CloseSocket(int fd);

// The port of the services database's "smtp"/"tcp" entry in network order, else 25.
uint16_t DefaultSmtpPort(const char* service = "smtp");

// This machine's name up to its first dot.
std::string ComputerName();

}  // namespace wardlet::smtp
