#include "monitor/engine/shared_trust.h"

#include <curl/curl.h>
#include <openssl/opensslv.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <strings.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/debug_log.h"
#include "monitor/engine/engine_settings.h"

namespace wardlet {
namespace {

// libcurl hands its SSL_CTX to us only when it speaks TLS through this very OpenSSL.
bool CurlUsesOurOpenSsl() {
    const char* version = curl_version_info(CURLVERSION_NOW)->ssl_version;
    constexpr char kPrefix[] = "OpenSSL/";
    if (!version || std::strncmp(version, kPrefix, sizeof kPrefix - 1) != 0) return false;
    return std::atoi(version + sizeof kPrefix - 1) == OPENSSL_VERSION_MAJOR;
}

// A proxy spoken to over TLS gets a context of its own, into which libcurl would read the
// proxy's authorities: into the shared store, once that is installed. So none is shared then.
bool TlsProxyNamed() {
    for (const char* name :
         {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value && strncasecmp(value, "https:", 6) == 0) return true;
    }
    return false;
}

// Size and time of a file or folder, so that a bundle replaced on disk is read again.
std::string Stamp(const std::string& path) {
    std::error_code error;
    auto time = std::filesystem::last_write_time(path, error);
    if (error) return "missing";
    auto size =
        std::filesystem::is_regular_file(path, error) ? std::filesystem::file_size(path, error) : 0;
    return std::to_string(time.time_since_epoch().count()) + " " + std::to_string(size);
}

// Every certificate and revocation list of a text of PEM blocks; false when it holds none.
bool AddPemText(X509_STORE* store, const std::string& text) {
    BIO* bio = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
    if (!bio) return false;
    STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!infos) return false;
    int certificates = 0;
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
        X509_INFO* info = sk_X509_INFO_value(infos, i);
        if (info->x509 && X509_STORE_add_cert(store, info->x509)) ++certificates;
        if (info->crl) X509_STORE_add_crl(store, info->crl);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    return certificates > 0;
}

CURLcode InstallStore(CURL*, void* context, void* store) {
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(context), static_cast<X509_STORE*>(store));
    return CURLE_OK;
}

}  // namespace

SharedTrust::SharedTrust() {
    if (!CurlUsesOurOpenSsl() || TlsProxyNamed()) return;
#if LIBCURL_VERSION_NUM >= 0x075400  // CURLINFO_CAINFO came with 7.84
    CURL* handle = curl_easy_init();
    if (!handle) return;
    char* bundle = nullptr;
    char* folder = nullptr;
    bool known = curl_easy_getinfo(handle, CURLINFO_CAINFO, &bundle) == CURLE_OK &&
                 curl_easy_getinfo(handle, CURLINFO_CAPATH, &folder) == CURLE_OK;
    if (bundle) defaultBundle_ = bundle;
    if (folder) defaultFolder_ = folder;
    curl_easy_cleanup(handle);
    usable_ = known;
#endif
}

SharedTrust::~SharedTrust() = default;

std::shared_ptr<x509_store_st> SharedTrust::For(const TransferLimits& limits) {
    if (!usable_) return nullptr;
    const std::string& text = limits.caCertificates;
    std::string key;
    if (!text.empty())
        key = "text";  // the text itself is compared with text_
    else if (!limits.caBundle.empty())
        key = "file\n" + limits.caBundle + "\n" + Stamp(limits.caBundle);
    else
        key = "default\n" + defaultBundle_ + "\n" + Stamp(defaultBundle_) + "\n" + defaultFolder_ +
              "\n" + Stamp(defaultFolder_);

    std::lock_guard<std::mutex> guard(lock_);
    if (key == key_ && text == text_) return store_;
    std::shared_ptr<X509_STORE> store(X509_STORE_new(), X509_STORE_free);
    bool read = store != nullptr;
    if (read && !text.empty()) {
        read = AddPemText(store.get(), text);
    } else if (read && !limits.caBundle.empty()) {
        read = X509_STORE_load_file(store.get(), limits.caBundle.c_str()) == 1;
    } else if (read) {
        read = !defaultBundle_.empty() || !defaultFolder_.empty();
        if (!defaultBundle_.empty())
            read = read && X509_STORE_load_file(store.get(), defaultBundle_.c_str()) == 1;
        if (!defaultFolder_.empty())
            read = read && X509_STORE_load_path(store.get(), defaultFolder_.c_str()) == 1;
    }
    // The flags libcurl sets on each context's store, set here once, so that its own setting
    // of them on a shared store writes what is already there.
    if (read)
        read = X509_STORE_set_flags(store.get(),
                                    X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN) == 1;
    if (!read) DebugLog("the certificate authorities could not be read once for every connection");
    key_ = std::move(key);
    text_ = text;
    store_ = read ? std::move(store) : nullptr;
    return store_;
}

void VerifyAgainst(void* handle, x509_store_st* store) {
    CURL* h = static_cast<CURL*>(handle);
    curl_easy_setopt(h, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, InstallStore);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, store);
}

}  // namespace wardlet
