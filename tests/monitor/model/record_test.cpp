#include "monitor/model/document_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/little_endian.h"
#include "monitor/model/account_scramble.h"

namespace wardlet {
namespace {

std::string Bytes(const DocumentRecord& r) {
    auto b = ToBytes(r);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

std::string Le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

TEST(DocumentRecord, EveryFieldAtItsOffsetLittleEndianAndRoundTrips) {
    DocumentRecord r{};
    r.type = 0x01020304;
    SetFieldText(r.location, "http://example.com/");
    SetFieldText(r.name, "Example");
    r.useAccount = 0x11121314;
    SetFieldText(r.userName, "user");
    SetFieldText(r.password, "secret");
    SetFieldText(r.lastCheck, "2026/03/07 [09:05:00]");
    r.status = 0x21222324;
    r.useCount = 0x31323334;
    r.lastCount = -5;
    SetFieldText(r.countString, "needle");
    r.useMiddle = 0x41424344;
    memset(r.middleStart, 's', sizeof r.middleStart - 1);
    SetFieldText(r.middleEnd, "end");

    std::string b = Bytes(r);
    ASSERT_EQ(b.size(), 4632u);
    EXPECT_EQ(b.substr(0, 4), Le32(0x01020304));
    EXPECT_EQ(b.substr(4, 20), std::string("http://example.com/", 20));
    EXPECT_EQ(b.substr(516, 8), std::string("Example", 8));
    EXPECT_EQ(b.substr(1028, 4), Le32(0x11121314));
    EXPECT_EQ(b.substr(1032, 5), std::string("user", 5));
    EXPECT_EQ(b.substr(1544, 7), std::string("secret", 7));
    EXPECT_EQ(b.substr(2056, 22), std::string("2026/03/07 [09:05:00]", 22));
    EXPECT_EQ(b.substr(2568, 4), Le32(0x21222324));
    EXPECT_EQ(b.substr(2572, 4), Le32(0x31323334));
    EXPECT_EQ(b.substr(2576, 4), Le32(0xfffffffb));
    EXPECT_EQ(b.substr(2580, 7), std::string("needle", 7));
    EXPECT_EQ(b.substr(3092, 4), Le32(0x41424344));
    EXPECT_EQ(b.substr(3096, 1024), std::string(1023, 's') + '\0');
    EXPECT_EQ(b.substr(4120, 4), std::string("end", 4));
    EXPECT_EQ(b.substr(4124), std::string(508, '\0'));

    RecordBytes raw;
    memcpy(raw.data(), b.data(), raw.size());
    EXPECT_EQ(Bytes(RecordFromBytes(raw)), b);
    EXPECT_EQ(RecordFromBytes(raw).lastCount, -5);
}

TEST(DocumentRecord, StatusAndTypeTextsAndCheckMethod) {
    const char* statuses[] = {
        "Checked", "Retrieving...", "** Changed", "** Unable to retrieve", "Waiting to retrieve...",
        "Ready"};
    for (int32_t s = 0; s < 6; ++s)
        EXPECT_EQ(StatusText(s), statuses[s]);
    EXPECT_EQ(StatusText(7), "Unknown");
    EXPECT_EQ(StatusText(-1), "Unknown");
    const char* types[] = {"Web Page", "Web File", "FTP File", "Local File"};
    for (int32_t t = 0; t < 4; ++t)
        EXPECT_EQ(TypeText(t), types[t]);
    EXPECT_EQ(TypeText(4), "Unknown");

    DocumentRecord r{};
    EXPECT_EQ(MethodOf(r), CheckMethod::Simple);
    r.useMiddle = 1;
    EXPECT_EQ(MethodOf(r), CheckMethod::Middle);
    r.useCount = 1;
    EXPECT_EQ(MethodOf(r), CheckMethod::Count);
    r.useCount = 2;  // a flag counts only when exactly 1
    r.useMiddle = -1;
    EXPECT_EQ(MethodOf(r), CheckMethod::Simple);
}

void ExpectFiller(const char (&field)[512], size_t n) {
    for (size_t i = 1; i < 512; ++i) {
        if (i % 4 == 1 && (i - 1) / 4 < n) continue;
        unsigned char c = field[i];
        EXPECT_TRUE(c >= 32 && c <= 125) << "byte " << i << " = " << int(c);
    }
}

TEST(AccountScramble, StoredFormOfAbc) {
    DocumentRecord r{};
    SetFieldText(r.userName, "abc");
    SetFieldText(r.password, "pw");
    EncodeAccount(r, 1'700'000'000);
    EXPECT_EQ(r.userName[0], 3);
    EXPECT_EQ(r.userName[1], 'c');
    EXPECT_EQ(r.userName[5], 'b');
    EXPECT_EQ(r.userName[9], 'a');
    ExpectFiller(r.userName, 3);
    EXPECT_EQ(r.password[0], 2);
    EXPECT_EQ(r.password[1], 'w');
    EXPECT_EQ(r.password[5], 'p');
    ExpectFiller(r.password, 2);

    DecodeAccount(r);
    EXPECT_EQ(std::string(r.userName, 4), std::string("abc", 4));
    EXPECT_EQ(std::string(r.userName, 512), "abc" + std::string(509, '\0'));
    EXPECT_EQ(std::string(r.password, 512), "pw" + std::string(510, '\0'));
}

TEST(AccountScramble, Full127CharactersRoundTripAndSecondsChangeOnlyFiller) {
    std::string name;
    for (int i = 0; i < 127; ++i)
        name.push_back(static_cast<char>(33 + (i * 7) % 94));
    DocumentRecord r{};
    SetFieldText(r.name, "Doc");
    SetFieldText(r.userName, name);
    SetFieldText(r.password, std::string(127, 'Q'));
    DocumentRecord early = r, late = r;
    EncodeAccount(early, 1'700'000'000);
    EncodeAccount(late, 1'700'000'001);
    EXPECT_EQ(early.userName[0], 127);
    ExpectFiller(early.userName, 127);

    std::string a = Bytes(early), b = Bytes(late);
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        ++differing;
        bool inAccount = i >= 1032 && i < 2056;
        size_t inField = (i - 1032) % 512;
        EXPECT_TRUE(inAccount && inField != 0 && (inField % 4 != 1 || inField > 4 * 126 + 1))
            << "byte " << i << " is not a filler byte";
    }
    EXPECT_GT(differing, 100u);

    DecodeAccount(early);
    EXPECT_EQ(FieldText(early.userName), name);
    EXPECT_EQ(FieldText(early.password), std::string(127, 'Q'));
    EXPECT_EQ(Bytes(early), Bytes(r));
}

TEST(AccountScramble, ZeroFieldsDecodeEmptyAndLongValuesNeverOverrun) {
    DocumentRecord r{};
    DecodeAccount(r);
    EXPECT_EQ(Bytes(r), std::string(4632, '\0'));

    memset(r.userName, 'u', sizeof r.userName - 1);
    SetFieldText(r.lastCheck, "after");
    EncodeAccount(r, 42);
    EXPECT_EQ(r.userName[0], 127);
    EXPECT_EQ(FieldText(r.lastCheck), "after");
    DecodeAccount(r);
    EXPECT_EQ(FieldText(r.userName), std::string(127, 'u'));

    r.userName[0] = static_cast<char>(-3);  // a negative length decodes to nothing
    DecodeAccount(r);
    EXPECT_EQ(std::string(r.userName, 512), std::string(512, '\0'));
}

}  // namespace
}  // namespace wardlet
