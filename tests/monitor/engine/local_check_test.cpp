// Local files that change, shrink and vanish.
#include <sys/stat.h>

#include "engine_fixture.h"
#include "file_bytes.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;

class LocalCheckTest : public EngineTest {
protected:
    std::string Watched(const std::string& name) { return (files_.path() / name).string(); }
    TempDir files_;
};

TEST_F(LocalCheckTest, ChangesIncludingATruncatedFileAreFoundAndStored) {
    std::string log(5000, 'l');
    WriteBytes(Watched("app.log"), log);
    size_t i = AddDocument(DocumentType::LocalFile, "log", Watched("app.log"));
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("log"), log);
    EXPECT_EQ(Check(i).status, int32_t(Status::Checked));

    WriteBytes(Watched("app.log"), log.substr(0, 600));  // rotated or cut short
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    EXPECT_EQ(Content("log"), log.substr(0, 600));
    WriteBytes(Watched("app.log"), log.substr(0, 600) + "x");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    EXPECT_EQ(observer_.Calls().back(), "ended log ** Changed");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(LocalCheckTest, VanishedOrUnreadableFilesAreUnavailableAndAnnounced) {
    WriteBytes(Watched("gone"), "was here");
    size_t gone = AddDocument(DocumentType::LocalFile, "gone", Watched("gone"));
    Check(gone);
    std::filesystem::remove(Watched("gone"));
    DocumentRecord after = Check(gone);
    EXPECT_EQ(after.status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("gone"), "was here");
    EXPECT_EQ(observer_.Calls(),
              (std::vector<std::string>{"ended gone Ready", "sound 3", "select 0", "tray",
                                        "ended gone ** Unable to retrieve"}));

    // A pipe without writer would block a read for ever; it is not a document file.
    ASSERT_EQ(mkfifo(Watched("pipe").c_str(), 0600), 0);
    size_t pipe = AddDocument(DocumentType::LocalFile, "pipe", Watched("pipe"));
    EXPECT_EQ(Check(pipe).status, int32_t(Status::Unavailable));
    size_t never = AddDocument(DocumentType::LocalFile, "never", Watched("never"));
    EXPECT_EQ(Check(never).status, int32_t(Status::Unavailable));
    EXPECT_FALSE(HasContent("never"));
}

TEST_F(LocalCheckTest, ALinkPlantedAsTheStoredCopyIsNeitherReadNorWrittenThrough) {
    WriteBytes(Watched("outside"), "same bytes");
    WriteBytes(Watched("doc"), "same bytes");
    size_t i = AddDocument(DocumentType::LocalFile, "doc", Watched("doc"));
    std::filesystem::create_symlink(Watched("outside"), store_.ContentFile("doc"));
    // Followed, the link would be compared with and found equal: Checked.
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_FALSE(std::filesystem::is_symlink(store_.ContentFile("doc")));
    EXPECT_EQ(ReadBytes(Watched("outside")), "same bytes");
}

}  // namespace
}  // namespace wardlet::test
