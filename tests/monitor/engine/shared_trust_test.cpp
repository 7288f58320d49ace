// The authorities read once for every TLS connection, and read again when their file changes.
#include "monitor/engine/shared_trust.h"

#include <gtest/gtest.h>

#include "file_bytes.h"
#include "monitor/engine/engine_settings.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

TEST(SharedTrustTest, OneStoreServesEveryConnectionUntilItsBundleChanges) {
    TestCertificates first;
    TestCertificates second;
    TempDir dir;
    std::string bundle = (dir.path() / "bundle.pem").string();
    WriteBytes(bundle, ReadBytes(first.ca));
    SharedTrust trust;
    TransferLimits limits;
    limits.caBundle = bundle;
    auto store = trust.For(limits);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(trust.For(limits), store);  // not read again

    WriteBytes(bundle, ReadBytes(first.ca) + ReadBytes(second.ca));
    auto grown = trust.For(limits);
    ASSERT_NE(grown, nullptr);
    EXPECT_NE(grown, store);
    EXPECT_EQ(trust.For(limits), grown);

    // A bundle that cannot be read is left to libcurl, which says why.
    limits.caBundle = bundle + ".missing";
    EXPECT_EQ(trust.For(limits), nullptr);
    WriteBytes(bundle, "no certificate here\n");
    limits.caBundle = bundle;
    EXPECT_EQ(trust.For(limits), nullptr);
}

TEST(SharedTrustTest, TheTextOfSeveralBundlesIsOneStoreAsWell) {
    TestCertificates first;
    TestCertificates second;
    SharedTrust trust;
    TransferLimits limits;
    limits.caCertificates = ReadBytes(first.ca) + "\n" + ReadBytes(second.ca) + "\n";
    auto store = trust.For(limits);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(trust.For(limits), store);
    limits.caCertificates = ReadBytes(second.ca);
    auto other = trust.For(limits);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, store);
    limits.caCertificates = "-----BEGIN CERTIFICATE-----\nbroken\n-----END CERTIFICATE-----\n";
    EXPECT_EQ(trust.For(limits), nullptr);

    // libcurl's own defaults: the system's bundle where it has one, read once too.
    TransferLimits defaults;
    auto system = trust.For(defaults);
    EXPECT_EQ(trust.For(defaults), system);
}

}  // namespace
}  // namespace wardlet::test
