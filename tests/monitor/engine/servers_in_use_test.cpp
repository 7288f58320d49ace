// Which Waiting record a pass claims next while other threads are talking to some servers.
#include "monitor/engine/servers_in_use.h"

#include <gtest/gtest.h>

#include "common/little_endian.h"

namespace wardlet::test {
namespace {

DocumentRecord Record(DocumentType type, const std::string& location,
                      DocumentStatus status = DocumentStatus::Waiting) {
    DocumentRecord r{};
    r.type = static_cast<int32_t>(type);
    SetFieldText(r.name, location);
    SetFieldText(r.location, location);
    SetStatus(r, status);
    return r;
}

TEST(ServersInUseTest, ServerIsTheSchemeAndHostOfTheAddressInLowerCase) {
    auto server = [](DocumentType type, const std::string& location) {
        return ServersInUse::ServerOf(Record(type, location));
    };
    EXPECT_EQ(server(DocumentType::WebPage, "https://Shop.Example/a?b"), "https://shop.example");
    EXPECT_EQ(server(DocumentType::WebFile, "http://user:pw@shop.example:8080/f.zip"),
              "http://shop.example:8080");
    EXPECT_EQ(server(DocumentType::WebPage, "shop.example/page one"), "http://shop.example");
    EXPECT_EQ(server(DocumentType::WebPage, "http://[::1]:81/"), "http://[::1]:81");
    // Each FTP check has a connection of its own and a local file none: never "in use".
    EXPECT_EQ(server(DocumentType::FtpFile, "ftp://shop.example/f"), "");
    EXPECT_EQ(server(DocumentType::LocalFile, "/home/me/notes.txt"), "");
    EXPECT_EQ(server(DocumentType::WebPage, "http://"), "");
}

class NextToClaimTest : public ::testing::Test {
protected:
    void Add(const std::string& location, DocumentStatus status = DocumentStatus::Waiting) {
        table_.Add(Record(DocumentType::WebPage, location, status));
    }
    DocumentTable table_;
    ServersInUse servers_;
};

TEST_F(NextToClaimTest, APageOfAnIdleServerAheadGoesFirstButNoWaitingSlotIsPassed) {
    Add("http://a.example/done", DocumentStatus::Checked);
    Add("http://a.example/1");
    Add("http://a.example/2");
    Add("http://b.example/1");
    Add("http://a.example/3");
    size_t position = 0;
    EXPECT_EQ(servers_.NextToClaim(table_, position), 1u);  // nobody busy: table order
    EXPECT_EQ(position, 1u);                                // moved past the checked one only

    ServersInUse::Visit a(servers_, "http://a.example");
    EXPECT_EQ(servers_.NextToClaim(table_, position), 3u);
    EXPECT_EQ(position, 1u);  // slot 1 still waits: the pass comes back for it
    {
        ServersInUse::Visit b(servers_, "http://b.example");
        // Every server in use: the next slot in order, opening another connection.
        EXPECT_EQ(servers_.NextToClaim(table_, position), 1u);
    }
    EXPECT_EQ(servers_.NextToClaim(table_, position), 3u);

    // Claimed slots are passed; once nothing waits the pass is over.
    for (size_t i : {1u, 2u, 3u, 4u})
        table_.Modify(i, [](DocumentRecord& r) { SetStatus(r, DocumentStatus::Retrieving); });
    EXPECT_EQ(servers_.NextToClaim(table_, position), DocumentTable::kNoSlot);
    EXPECT_EQ(position, 5u);
}

TEST_F(NextToClaimTest, TheLookAheadIsBoundedAndVisitsAreCounted) {
    for (size_t i = 0; i < ServersInUse::kLookAhead; ++i)
        Add("http://a.example/" + std::to_string(i));
    Add("http://b.example/far");
    ServersInUse::Visit first(servers_, "http://a.example");
    size_t position = 0;
    // The page of the idle server lies beyond the look-ahead: order wins.
    EXPECT_EQ(servers_.NextToClaim(table_, position), 0u);
    table_.Modify(0, [](DocumentRecord& r) { SetStatus(r, DocumentStatus::Retrieving); });
    EXPECT_EQ(servers_.NextToClaim(table_, position), ServersInUse::kLookAhead);
}

TEST_F(NextToClaimTest, AServerStaysInUseUntilItsLastVisitEnds) {
    Add("http://a.example/1");
    Add("http://c.example/1");
    auto first = std::make_unique<ServersInUse::Visit>(servers_, "http://a.example");
    auto second = std::make_unique<ServersInUse::Visit>(servers_, "http://a.example");
    size_t position = 0;
    EXPECT_EQ(servers_.NextToClaim(table_, position), 1u);
    first.reset();
    EXPECT_EQ(servers_.NextToClaim(table_, position), 1u);
    second.reset();
    EXPECT_EQ(servers_.NextToClaim(table_, position), 0u);
    // A visit of no server (a local file, FTP) marks nothing.
    ServersInUse::Visit none(servers_, "");
    EXPECT_EQ(servers_.NextToClaim(table_, position), 0u);
}

}  // namespace
}  // namespace wardlet::test
