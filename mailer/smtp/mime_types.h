#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace wardlet::smtp {

inline constexpr char kSystemMimeTypes[] = "/etc/mime.types";
inline constexpr char kDefaultContentType[] = "application/octet-stream";

// The content type registered for an extension key such as ".pdf" or ".tar.gz" (the key is the
// whole text from the first dot of a file name), compared without regard to case. Empty when the
// table has no entry or cannot be read.
std::string LookUpContentType(std::string_view extensionKey,
                              const std::filesystem::path& table = kSystemMimeTypes);

}  // namespace wardlet::smtp
