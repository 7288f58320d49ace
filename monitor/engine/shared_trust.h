#pragma once

#include <memory>
#include <mutex>
#include <string>

struct x509_store_st;

namespace wardlet {

struct TransferLimits;

// The certificate authorities TLS connections are verified against, read once and handed to
// every connection the check threads open. OpenSSL 3 takes some 40 ms of CPU to read the
// system's bundle of 140-odd authorities, and libcurl would read it again for each new
// connection (and free it again with each).
class SharedTrust {
public:
    SharedTrust();  // learns libcurl's own default bundle and folder
    ~SharedTrust();
    SharedTrust(const SharedTrust&) = delete;
    SharedTrust& operator=(const SharedTrust&) = delete;

    // The store of what `limits` trusts: its bundle, its text of several bundles, or libcurl's
    // defaults. A bundle or folder changed on disk is read again. Null when this libcurl does
    // not speak TLS through the OpenSSL linked here, or the authorities cannot be read: libcurl
    // then reads them itself and reports what it cannot read.
    std::shared_ptr<x509_store_st> For(const TransferLimits& limits);

private:
    std::mutex lock_;
    bool usable_ = false;
    std::string defaultBundle_;
    std::string defaultFolder_;
    std::string key_;   // what store_ was read from, with the files' sizes and times
    std::string text_;  // the text of several bundles it was read from
    std::shared_ptr<x509_store_st> store_;
};

// Makes the next transfer on the libcurl `handle` verify against `store`, read by nobody else.
// The store must outlive the transfer.
void VerifyAgainst(void* handle, x509_store_st* store);

}  // namespace wardlet
