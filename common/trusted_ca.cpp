#include "common/trusted_ca.h"

#include <algorithm>
#include <cstdlib>

namespace wardlet {

std::vector<std::string> TrustedCaFiles() {
    std::vector<std::string> files;
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const char* file = std::getenv(name);
        if (file && *file && std::find(files.begin(), files.end(), file) == files.end())
            files.emplace_back(file);
    }
    return files;
}

}  // namespace wardlet
