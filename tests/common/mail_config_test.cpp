#include "common/mail_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "temp_home.h"

namespace wardlet {
namespace {

using test::FileMode;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

MailConfig Sample() {
    MailConfig c{};
    c.sendOnChange = 1;
    c.sendOnUnreachable = 0x01020304;
    c.requiresAuth = -2;
    SetFieldText(c.smtpUserName, "mailuser");
    SetFieldText(c.smtpPassword, "p@ss word");
    SetFieldText(c.smtpServer, "smtp.example.org");
    SetFieldText(c.toAddress, "to@example.org");
    SetFieldText(c.ccAddress, "a@example.org, b@example.org");
    SetFieldText(c.bccAddress, "bcc@example.org");
    c.markNotifiedChecked = 0x7f000001;
    return c;
}

std::string Bytes(const MailConfig& c) {
    auto b = ToBytes(c);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

std::string Le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

TEST(MailConfig, BytesAreLittleEndianAtTheirOffsetsAndRoundTrip) {
    std::string b = Bytes(Sample());
    ASSERT_EQ(b.size(), 496u);
    EXPECT_EQ(b.substr(0, 4), Le32(1));
    EXPECT_EQ(b.substr(4, 4), Le32(0x01020304));
    EXPECT_EQ(b.substr(8, 4), Le32(0xfffffffe));
    EXPECT_EQ(b.substr(12, 80), "mailuser" + std::string(72, '\0'));
    EXPECT_EQ(b.substr(92, 9), "p@ss word");
    EXPECT_EQ(b.substr(172, 16), "smtp.example.org");
    EXPECT_EQ(b.substr(252, 15), std::string("to@example.org", 15));
    EXPECT_EQ(b.substr(332, 28), "a@example.org, b@example.org");
    EXPECT_EQ(b.substr(412, 15), std::string("bcc@example.org", 15));
    EXPECT_EQ(b.substr(492, 4), Le32(0x7f000001));
    auto back = MailConfigFromBytes(reinterpret_cast<const unsigned char*>(b.data()), b.size());
    EXPECT_EQ(Bytes(back), b);
}

TEST(MailConfig, BothReadersAt495And496And600BytesAndMissing) {
    TempDir dir;
    auto file = dir.path() / kMailConfigFile;
    const std::string whole = Bytes(Sample());
    MailConfig strict{};

    WriteBytes(file, whole.substr(0, 495));
    std::string lenient = Bytes(ReadMailConfigLenient(file));
    EXPECT_EQ(lenient.substr(0, 495), whole.substr(0, 495));
    EXPECT_EQ(lenient[495], '\0');
    EXPECT_EQ(ReadMailConfigLenient(file).markNotifiedChecked, 1);
    strict = Sample();
    EXPECT_EQ(ReadMailConfigStrict(file, strict), MailConfigRead::TooShort);
    EXPECT_EQ(Bytes(strict), std::string(496, '\0'));

    WriteBytes(file, whole);
    EXPECT_EQ(Bytes(ReadMailConfigLenient(file)), whole);
    EXPECT_EQ(ReadMailConfigStrict(file, strict), MailConfigRead::Ok);
    EXPECT_EQ(Bytes(strict), whole);

    WriteBytes(file, whole + std::string(104, 'x'));
    EXPECT_EQ(Bytes(ReadMailConfigLenient(file)), whole);
    EXPECT_EQ(ReadMailConfigStrict(file, strict), MailConfigRead::Ok);
    EXPECT_EQ(Bytes(strict), whole);

    std::filesystem::remove(file);
    EXPECT_EQ(Bytes(ReadMailConfigLenient(file)), std::string(496, '\0'));
    strict = Sample();
    EXPECT_EQ(ReadMailConfigStrict(file, strict), MailConfigRead::CannotOpen);
    EXPECT_EQ(Bytes(strict), std::string(496, '\0'));
}

TEST(MailConfig, WriteIsPrivateAtomicAndKeeps79Characters) {
    TempDir dir;
    auto file = dir.path() / kMailConfigTestFile;
    MailConfig c = Sample();
    std::string address79(79, 'a');
    address79.replace(70, 9, "@mail.org");
    SetFieldText(c.toAddress, address79 + "Z");  // an 80th character is never stored
    EXPECT_EQ(FieldText(c.toAddress), address79);

    WriteBytes(file, "old settings");
    std::ifstream reader(file, std::ios::binary);  // a reader that opened the old file
    ASSERT_TRUE(WriteMailConfig(file, c));
    EXPECT_EQ(FileMode(file), 0600u);
    EXPECT_EQ(ReadBytes(file), Bytes(c));
    std::string seen((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
    EXPECT_EQ(seen, "old settings") << "the file must be replaced, not rewritten in place";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    MailConfig back{};
    ASSERT_EQ(ReadMailConfigStrict(file, back), MailConfigRead::Ok);
    EXPECT_EQ(FieldText(back.toAddress), address79);
    EXPECT_FALSE(WriteMailConfig(dir.path() / "absent" / kMailConfigFile, c));
}

}  // namespace
}  // namespace wardlet
