#pragma once

#include <map>
#include <string>

namespace wardlet::test {

// Runs tests/mailer/smtp/oracle.py (Python's base64, quopri and email packages) over `input`
// and returns what it prints.
std::string RunOracle(const std::string& mode, const std::string& input);

// The message parsed by Python's email package: "order", "header.<Name>", "to", "from", "date",
// "defects", and per MIME part "part[<path>].type|charset|cte|filename|name|payload(hex)|...".
std::map<std::string, std::string> ParseMail(const std::string& message);

// The message parsed as today's mail clients do (policy.default): "defects" (a count),
// "defect-list", "subject", "from", "to", "message-id", "date", "body", "body-charset",
// "body-cte"; texts decoded to UTF-8.
std::map<std::string, std::string> ParseMailAsClientsDo(const std::string& message);

std::string Hex(const std::string& bytes);

}  // namespace wardlet::test
