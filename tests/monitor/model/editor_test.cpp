#include "monitor/model/document_editor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "temp_home.h"

namespace wardlet {
namespace {

using test::ReadBytes;
using test::TempDataHome;
using test::TempDir;
using test::WriteBytes;

const char kInvalidName[] =
    "Invalid document name. Please do not use the following characters:\n\n\\ / : * ? \" < > |";
const char kDuplicate[] = "Same document name already exist. Please use another name.";

std::string Bytes(const DocumentRecord& r) {
    auto b = ToBytes(r);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

DocumentInput WebPage(const std::string& name, const std::string& location) {
    DocumentInput in;
    in.type = DocumentType::WebPage;
    in.name = name;
    in.location = location;
    return in;
}

struct EditorFixture : ::testing::Test {
    TempDataHome home;
    std::filesystem::path folder = home.makeDataFolder();
    DocumentTable table;

    EditorResult Apply(const DocumentInput& in, PropertiesMode mode = PropertiesMode::Add,
                       size_t edited = 0) {
        return ApplyDocumentInput(in, table, mode, edited, folder);
    }
    std::string Message(const DocumentInput& in, PropertiesMode mode = PropertiesMode::Add,
                        size_t edited = 0) {
        EditorResult r = Apply(in, mode, edited);
        return r.ok ? "ok" : r.message;
    }
    size_t AddNamed(const std::string& name) {
        DocumentRecord r{};
        SetFieldText(r.name, name);
        return table.Add(r);
    }
};

using ApplyDocumentInputTest = EditorFixture;

TEST_F(ApplyDocumentInputTest, MessagesComeInTheEditorsOrder) {
    AddNamed("Taken");
    DocumentInput in;
    in.method = CheckMethod::Count;
    in.account = true;
    in.name = "taken";
    EXPECT_EQ(Message(in), "Please enter the string for count.");
    in.countString = "needle";
    in.method = CheckMethod::Middle;
    EXPECT_EQ(Message(in), "Please enter the string.");
    in.middleStart = "<b>";
    EXPECT_EQ(Message(in), "Please enter the string.");
    in.middleEnd = "</b>";
    EXPECT_EQ(Message(in), "Please enter the username.");
    in.userName = "user";
    EXPECT_EQ(Message(in), "Please enter the password.");
    in.password = "pw";
    EXPECT_EQ(Message(in), "Please enter the URL or server address of the document.");
    in.type = DocumentType::FtpFile;
    EXPECT_EQ(Message(in), "Please enter the file path.");
    in.type = DocumentType::LocalFile;
    EXPECT_EQ(Message(in), "Please enter the file path.");
    in.type = DocumentType::WebFile;
    in.location = "example.com/file.zip";
    EXPECT_EQ(Message(in), kDuplicate);
    in.name = "";
    EXPECT_EQ(Message(in), "Please enter the document name.");
    in.name = "a/b";
    EXPECT_EQ(Message(in), kInvalidName);
    in.name = "Fresh";
    EXPECT_EQ(Message(in), "ok");
}

TEST_F(ApplyDocumentInputTest, NamesAreRefusedForEveryForbiddenCharacter) {
    for (const std::string& bad :
         std::vector<std::string>{"a\\b", "a/b", "../x", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b",
                                  "a|b", "tab\tx", "line\nx", std::string("nul\0x", 5), "del\x7f"})
        EXPECT_EQ(Message(WebPage(bad, "example.com")), kInvalidName) << bad;
    EXPECT_EQ(Message(WebPage(std::string(512, 'n'), "example.com")), kInvalidName);
    for (const char* fine : {"Price list (EUR) #2", "..", "caf\xc3\xa9", "a.data"})
        EXPECT_EQ(Message(WebPage(fine, "example.com")), "ok") << fine;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 0)
        << "the name proof leaves nothing behind";
}

TEST_F(ApplyDocumentInputTest, DuplicatesIgnoreCaseAndEditSkipsItsOwnSlot) {
    size_t report = AddNamed("Report");
    size_t news = AddNamed("News");
    size_t gone = AddNamed("Gone");
    table.Clear(gone);
    EXPECT_EQ(Message(WebPage("REPORT", "example.com")), kDuplicate);
    EXPECT_EQ(Message(WebPage("Gone", "example.com")), "ok");
    EXPECT_EQ(Message(WebPage("Report", "example.com"), PropertiesMode::Edit, report), "ok");
    EXPECT_EQ(Message(WebPage("report", "example.com"), PropertiesMode::Edit, report), "ok");
    EXPECT_EQ(Message(WebPage("news", "example.com"), PropertiesMode::Edit, report), kDuplicate);
    EXPECT_EQ(Message(WebPage("Report", "example.com"), PropertiesMode::Copy, report), kDuplicate);
    EXPECT_EQ(Message(WebPage("News", "example.com"), PropertiesMode::Add, news), kDuplicate);
}

TEST_F(ApplyDocumentInputTest, WebLocationsAreRebuiltOthersKeptAsTyped) {
    struct Case {
        DocumentType type;
        const char* typed;
        const char* stored;
    } cases[] = {
        {DocumentType::WebPage, "ftp://example.com/a", "http://example.com/a"},
        {DocumentType::WebPage, "HTTPS://Example.com/A", "https://Example.com/A"},
        {DocumentType::WebFile, "http://x.org/?next=s://y", "https://x.org/?next=s://y"},
        {DocumentType::WebPage, "http://x.org/?next=S://y", "https://x.org/?next=S://y"},
        {DocumentType::WebPage, "example.com/page?q=1", "http://example.com/page?q=1"},
        {DocumentType::WebFile, "a://b://c", "http://b://c"},
        {DocumentType::FtpFile, "ftp://host/pub/file.zip", "ftp://host/pub/file.zip"},
        {DocumentType::LocalFile, "/var/log/syslog", "/var/log/syslog"},
    };
    for (const auto& c : cases) {
        DocumentInput in = WebPage("Doc", c.typed);
        in.type = c.type;
        EditorResult r = Apply(in);
        ASSERT_TRUE(r.ok) << c.typed << ": " << r.message;
        EXPECT_EQ(FieldText(r.staged.location), c.stored);
    }
    EXPECT_EQ(Message(WebPage("Doc", std::string(504, 'u'))), "ok");
    EXPECT_EQ(Message(WebPage("Doc", std::string(505, 'u'))),
              "The URL can hold at most 511 characters.");
}

TEST_F(ApplyDocumentInputTest, StagedRecordHoldsOnlyTheChosenFields) {
    DocumentInput in = WebPage("Prices", "shop.example.com/prices");
    in.account = true;
    in.userName = "u";
    in.password = "p";
    in.method = CheckMethod::Count;
    in.countString = "EUR";
    in.middleStart = "not";
    in.middleEnd = "stored";
    EditorResult r = Apply(in);
    ASSERT_TRUE(r.ok) << r.message;
    DocumentRecord expected{};
    SetFieldText(expected.location, "http://shop.example.com/prices");
    SetFieldText(expected.name, "Prices");
    expected.useAccount = 1;
    SetFieldText(expected.userName, "u");
    SetFieldText(expected.password, "p");
    expected.status = 4;
    expected.useCount = 1;
    SetFieldText(expected.countString, "EUR");
    EXPECT_EQ(Bytes(r.staged), Bytes(expected));

    in.account = false;  // typed account values are not kept once unchecked
    in.method = CheckMethod::Middle;
    r = Apply(in);
    ASSERT_TRUE(r.ok) << r.message;
    expected.useAccount = 0;
    memset(expected.userName, 0, sizeof expected.userName);
    memset(expected.password, 0, sizeof expected.password);
    expected.useCount = 0;
    memset(expected.countString, 0, sizeof expected.countString);
    expected.useMiddle = 1;
    SetFieldText(expected.middleStart, "not");
    SetFieldText(expected.middleEnd, "stored");
    EXPECT_EQ(Bytes(r.staged), Bytes(expected));

    in.method = CheckMethod::Count;
    in.type = DocumentType::WebFile;  // the count method chosen, then the type switched
    r = Apply(in);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.staged.type, 1);
    EXPECT_EQ(r.staged.useCount, 0);
    EXPECT_EQ(r.staged.useMiddle, 0);
    EXPECT_EQ(r.staged.countString[0], '\0');

    in.type = DocumentType::LocalFile;  // a checked account stays in force for a local file
    in.account = true;
    in.location = "/home/me/notes.txt";
    r = Apply(in);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.staged.useAccount, 1);
    EXPECT_EQ(FieldText(r.staged.userName), "u");
}

TEST_F(ApplyDocumentInputTest, AccountValuesAbove127CharactersAreRefused) {
    DocumentInput in = WebPage("Doc", "example.com");
    in.account = true;
    in.userName = std::string(127, 'u');
    in.password = std::string(127, 'p');
    EditorResult r = Apply(in);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(FieldText(r.staged.userName), in.userName);
    in.userName += 'u';
    EXPECT_EQ(Message(in), "The username can hold at most 127 characters.");
    in.userName.pop_back();
    in.password += 'p';
    EXPECT_EQ(Message(in), "The password can hold at most 127 characters.");
}

TEST_F(ApplyDocumentInputTest, NameProofNeverTouchesAnExistingFile) {
    TempDir cwd;
    auto oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(cwd.path());
    WriteBytes(cwd.path() / "Report", "user's own file");
    WriteBytes(folder / "Report", "another file");
    WriteBytes(folder / "Report.data", "not a record");
    EditorResult r = Apply(WebPage("Report", "example.com"));
    std::filesystem::current_path(oldCwd);
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(ReadBytes(cwd.path() / "Report"), "user's own file");
    EXPECT_EQ(ReadBytes(folder / "Report"), "another file");
    EXPECT_EQ(ReadBytes(folder / "Report.data"), "not a record");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cwd.path()), {}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

}  // namespace
}  // namespace wardlet
