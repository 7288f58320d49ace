// What a check keeps of a changed web page: its earlier version, its changed lines for the mail
// and the charset its answer named.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "file_bytes.h"
#include "monitor/changes/change_view.h"
#include "monitor/model/feature_settings.h"
#include "monitor/model/version_history.h"
#include "web_check_fixture.h"

namespace wardlet::test {
namespace {

TEST_F(WebCheckTest, AChangeKeepsTheReplacedCopyAndAnUnchangedCheckKeepsNothing) {
    peer_.SetPage("p", "one\r\n");
    size_t i = AddPage("p");
    Check(i);
    Check(i);
    EXPECT_FALSE(std::filesystem::exists(store_.HistoryOf("p"))) << "no change, nothing kept";
    peer_.SetPage("p", "two\r\n");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    peer_.SetPage("p", "three\r\n");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    Check(i);
    std::vector<std::string> kept;
    for (const auto& v : ListVersions(store_.HistoryOf("p"), store_.ContentFile("p")))
        kept.push_back(ReadBytes(v.file));
    EXPECT_EQ(kept, (std::vector<std::string>{"two\r\n", "one\r\n"}));
    EXPECT_EQ(Content("p"), "three\r\n");
    EXPECT_TRUE(TempFiles().empty());
}

// The side files of the mail queue, by content.
std::vector<std::string> ChangedLinesFiles(const std::filesystem::path& data) {
    std::vector<std::string> lines;
    if (!std::filesystem::exists(data / kMailChangesFolder)) return lines;
    for (const auto& entry : std::filesystem::directory_iterator(data / kMailChangesFolder))
        lines.push_back(ReadBytes(entry.path()));
    return lines;
}

TEST_F(WebCheckTest, AChangeMailEntryCarriesTheChangedLinesUnlessTheSettingIsOff) {
    std::string page = "<html><body><h1>Prices</h1>";
    for (int i = 0; i < 30; ++i)
        page += "<p>item " + std::to_string(i) + "</p>\r\n";
    peer_.SetPage("p", page + "</body></html>");
    size_t i = AddPage("p");
    Check(i);
    std::string changed = "<html><body><h1>Prices now</h1>";
    for (int n = 0; n < 30; ++n)
        changed += "<p>item " + std::to_string(n + 100) + "</p>\r\n";
    peer_.SetPage("p", changed + "</body></html>");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    std::vector<std::string> lines = ChangedLinesFiles(data_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("-Prices\n-item 0\n-item 1\n")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("\n\u2026 42 more lines\n")) << "62 changed, 20 shown";
    std::string queue = MailQueue();
    EXPECT_EQ(ReadBytes(data_ / kMailChangesFolder / ChangedLinesFileName(queue)), lines[0])
        << "named after its entry, the only one queued";

    FeatureSettings off;
    off.mailChanges = false;
    ASSERT_TRUE(SaveFeatureSettings(data_, off));
    peer_.SetPage("p", page + "</body></html>");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    EXPECT_EQ(ChangedLinesFiles(data_).size(), 1u) << "no side file for the third entry";
    EXPECT_EQ(MailQueue().substr(queue.size()).find("item"), std::string::npos);
}

TEST_F(WebCheckTest, TheCharsetTheAnswerNamesIsKeptBesideTheVersionsAndReadsTheText) {
    peer_.SetPage("p", "<p>caf\xE9</p>", R"({"contentType": "text/html; charset=ISO-8859-1"})");
    size_t i = AddPage("p");
    Check(i);
    std::filesystem::path charset = store_.HistoryOf("p") / kDeclaredCharsetFile;
    EXPECT_EQ(ReadBytes(charset), "ISO-8859-1");
    peer_.SetPage("p", "<p>th\xE9</p>", R"({"contentType": "text/html; charset=ISO-8859-1"})");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    ChangeView view(store_, table_.Get(i));
    auto change = view.Compare(1, 0, false);
    ASSERT_TRUE(change);
    EXPECT_EQ(FormatUnifiedDiff(change->diff, "a", "b", false),
              "--- a\n+++ b\n@@ -1 +1 @@\n-caf\xC3\xA9\n+th\xC3\xA9\n");
    // An answer without one: the stored charset goes.
    peer_.SetPage("p", "<p>plain</p>", R"({"contentType": "text/html"})");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    EXPECT_EQ(ReadBytes(charset), "");
    EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
}  // namespace wardlet::test
