#include "monitor/model/document_editor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/fd_io.h"
#include "common/little_endian.h"
#include "monitor/model/account_scramble.h"

namespace wardlet {
namespace {

constexpr char kInvalidName[] =
    "Invalid document name. Please do not use the following characters:\n\n\\ / : * ? \" < > |";

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

EditorResult Refuse(std::string message) {
    EditorResult result;
    result.message = std::move(message);
    return result;
}

bool TooLong(const std::string& text) {
    return text.size() > kMaxFieldText;
}

}  // namespace

std::string BuildWebLocation(std::string_view typed) {
    bool secure = typed.find("s://") != std::string_view::npos ||
                  typed.find("S://") != std::string_view::npos;
    size_t scheme = typed.find("://");
    std::string_view rest = scheme == std::string_view::npos ? typed : typed.substr(scheme + 3);
    return std::string(secure ? "https://" : "http://") + std::string(rest);
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string WebOpenTarget(std::string_view location, bool useAccount, std::string_view user,
                          std::string_view password) {
    std::string url = BuildWebLocation(location);
    if (!useAccount) return url;
    size_t rest = url.find("://") + 3;  // BuildWebLocation always starts with a scheme
    return url.substr(0, rest) + std::string(user) + ":" + std::string(password) + "@" +
           url.substr(rest);
}

bool NameHasAllowedCharacters(std::string_view name) {
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f || strchr("\\/:*?\"<>|", c)) return false;
    return true;
}

bool NameCanBeCreated(std::string_view name, const std::filesystem::path& folder) {
    if (name.empty() || name.size() > kMaxNameBytes || name.find('\0') != std::string_view::npos)
        return false;
    thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        // As long as the longest file the document will ever get.
        char suffix[32];
        snprintf(suffix, sizeof suffix, ".data.%06x.tmp",
                 static_cast<unsigned>(random() & 0xffffff));
        auto probe = folder / (std::string(name) + suffix);
        if (OpenDataFile(probe, DataFileMode::CreateNew).valid()) {
            unlink(probe.c_str());
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

EditorResult ApplyDocumentInput(const DocumentInput& input, const DocumentTable& table,
                                PropertiesMode mode, size_t editedIndex,
                                const std::filesystem::path& dataFolder) {
    const bool web = input.type == DocumentType::WebPage || input.type == DocumentType::WebFile;
    CheckMethod method = input.type == DocumentType::WebPage ? input.method : CheckMethod::Simple;

    if (method == CheckMethod::Count) {
        if (input.countString.empty()) return Refuse("Please enter the string for count.");
        if (TooLong(input.countString))
            return Refuse("The string for count can hold at most 511 characters.");
    }
    if (method == CheckMethod::Middle) {
        if (input.middleStart.empty() || input.middleEnd.empty())
            return Refuse("Please enter the string.");
        if (TooLong(input.middleStart) || TooLong(input.middleEnd))
            return Refuse("The strings can hold at most 511 characters each.");
    }

    if (input.account) {
        if (input.userName.empty()) return Refuse("Please enter the username.");
        if (input.password.empty()) return Refuse("Please enter the password.");
        // A line break would end the login command and start another one on the server.
        if (HasLineBreak(input.userName) || HasLineBreak(input.password))
            return Refuse("The username and the password cannot contain line breaks.");
        // The stored, scrambled form keeps one character in every four bytes after the length.
        if (input.userName.size() > kMaxAccountText)
            return Refuse("The username can hold at most 127 characters.");
        if (input.password.size() > kMaxAccountText)
            return Refuse("The password can hold at most 127 characters.");
    }

    if (HasLineBreak(input.location)) return Refuse("The location cannot contain line breaks.");
    std::string location;
    if (web) {
        if (input.location.empty())
            return Refuse("Please enter the URL or server address of the document.");
        location = BuildWebLocation(input.location);
        if (TooLong(location)) return Refuse("The URL can hold at most 511 characters.");
    } else {
        if (input.location.empty()) return Refuse("Please enter the file path.");
        location = input.location;
        if (TooLong(location)) return Refuse("The file path can hold at most 511 characters.");
    }

    if (input.name.empty()) return Refuse("Please enter the document name.");
    for (size_t i = 0; i < table.size(); ++i) {
        if (mode == PropertiesMode::Edit && i == editedIndex) continue;
        std::string otherName = table.Name(i);
        if (!otherName.empty() && EqualIgnoringCase(otherName, input.name))
            return Refuse("Same document name already exist. Please use another name.");
    }
    if (!NameHasAllowedCharacters(input.name) || !NameCanBeCreated(input.name, dataFolder))
        return Refuse(kInvalidName);

    EditorResult result;
    result.ok = true;
    DocumentRecord& r = result.staged;
    r.type = static_cast<int32_t>(input.type);
    SetFieldText(r.location, location);
    SetFieldText(r.name, input.name);
    r.useAccount = input.account ? 1 : 0;
    if (input.account) {
        SetFieldText(r.userName, input.userName);
        SetFieldText(r.password, input.password);
    }
    SetStatus(r, DocumentStatus::Waiting);
    r.useCount = method == CheckMethod::Count ? 1 : 0;
    if (r.useCount) SetFieldText(r.countString, input.countString);
    r.useMiddle = method == CheckMethod::Middle ? 1 : 0;
    if (r.useMiddle) {
        SetFieldText(r.middleStart, input.middleStart);
        SetFieldText(r.middleEnd, input.middleEnd);
    }
    return result;
}

}  // namespace wardlet
