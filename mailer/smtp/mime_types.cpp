#include "mailer/smtp/mime_types.h"

#include <strings.h>
#include <sstream>

#include "common/fd_io.h"

namespace wardlet::smtp {

std::string LookUpContentType(std::string_view extensionKey, const std::filesystem::path& table) {
    if (extensionKey.size() < 2 || extensionKey[0] != '.') return {};
    std::string wanted(extensionKey.substr(1));
    std::istringstream in(ReadSystemFile(table).value_or(std::string()));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string type;
        std::string extension;
        fields >> type;
        while (fields >> extension) {
            if (strcasecmp(extension.c_str(), wanted.c_str()) == 0) return type;
        }
    }
    return {};
}

}  // namespace wardlet::smtp
