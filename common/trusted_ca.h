#pragma once

#include <string>
#include <vector>

namespace wardlet {

// The files of certificate authorities that web, FTPS and mail connections trust instead of the
// system's: the one CURL_CA_BUNDLE names, as curl users set it, and the one SSL_CERT_FILE names,
// as OpenSSL users do. An authority in either is trusted, so a company CA in SSL_CERT_FILE works
// even where the desktop sets CURL_CA_BUNDLE to the system bundle. Each file once, in that order;
// empty when neither is set (the system store is used then).
std::vector<std::string> TrustedCaFiles();

}  // namespace wardlet
