#include "monitor/model/record_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_bytes.h"
#include "monitor/model/document_record.h"
#include "temp_home.h"

namespace wardlet {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

// A record image with text at both ends, a lone byte in a long zero stretch, and short gaps.
std::string Image(char fill) {
    std::string image(kRecordSize, '\0');
    image.replace(0, 4, "\x01\0\0\0", 4);
    image.replace(4, 20, std::string(20, fill));
    image[2000] = fill;
    image.replace(2056, 11, "a\0b\0\0\0\0\0\0\0c", 11);
    image.replace(kRecordSize - 3, 3, "end");
    return image;
}

std::vector<JournalEntry> TwoEntries() {
    return {{"page 1.data", Image('x')}, {"ä page.data", Image('y')}};
}

bool Same(const std::vector<JournalEntry>& a, const std::vector<JournalEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].fileName != b[i].fileName || a[i].image != b[i].image) return false;
    return true;
}

TEST(RecordJournal, EntriesComeBackExactlyAndTheZeroStretchesAreLeftOut) {
    std::string bytes = EncodeRecordJournal(TwoEntries());
    EXPECT_TRUE(Same(DecodeRecordJournal(bytes), TwoEntries()));
    EXPECT_LT(bytes.size(), 200u) << "a record is mostly zeros";
    EXPECT_TRUE(DecodeRecordJournal(EncodeRecordJournal({})).empty());
    std::string zeros(kRecordSize, '\0');
    EXPECT_TRUE(
        Same(DecodeRecordJournal(EncodeRecordJournal({{"z.data", zeros}})), {{"z.data", zeros}}));
}

TEST(RecordJournal, AJournalCutShortOrDamagedAnywhereIsNoJournal) {
    std::string bytes = EncodeRecordJournal(TwoEntries());
    for (size_t n = 0; n < bytes.size(); ++n)
        ASSERT_TRUE(DecodeRecordJournal(bytes.substr(0, n)).empty()) << "cut at " << n;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string damaged = bytes;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x10);
        ASSERT_TRUE(DecodeRecordJournal(damaged).empty()) << "byte " << i;
    }
    EXPECT_TRUE(DecodeRecordJournal(bytes + "x").empty());
}

TEST(RecordJournal, OnlyRecordFilesInsideTheFolderMayBeNamed) {
    for (const std::string name : {"../outside.data", "sub/x.data", "x.content", ".data", ""}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(DecodeRecordJournal(EncodeRecordJournal({{name, Image('x')}})).empty());
    }
    // Only whole records: a shorter image is refused.
    EXPECT_TRUE(DecodeRecordJournal(EncodeRecordJournal({{"x.data", "short"}})).empty());
}

struct JournalFolder : ::testing::Test {
    test::TempDataHome home;
    fs::path folder = home.makeDataFolder();
};

TEST_F(JournalFolder, AnInterruptedBatchIsFinishedIntoTheFilesStillThereAndTheJournalGoes) {
    WriteBytes(folder / "page 1.data", Image('o'));
    WriteBytes(folder / "ä page.data", Image('o').substr(0, 100));  // not a record: left alone
    fs::create_symlink(folder / "elsewhere", folder / "link.data");
    ASSERT_TRUE(WriteRecordJournal(folder, EncodeRecordJournal({{"page 1.data", Image('x')},
                                                                {"ä page.data", Image('y')},
                                                                {"gone.data", Image('z')},
                                                                {"link.data", Image('z')}})));
    EXPECT_TRUE(Same(ReadRecordJournal(folder), {{"page 1.data", Image('x')},
                                                 {"ä page.data", Image('y')},
                                                 {"gone.data", Image('z')},
                                                 {"link.data", Image('z')}}));

    EXPECT_EQ(FinishInterruptedRewrites(folder), 1u);
    EXPECT_EQ(ReadBytes(folder / "page 1.data"), Image('x'));
    EXPECT_EQ(ReadBytes(folder / "ä page.data"), Image('o').substr(0, 100));
    EXPECT_FALSE(fs::exists(folder / "gone.data")) << "a deleted record stays deleted";
    EXPECT_FALSE(fs::exists(folder / "elsewhere"));
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
    EXPECT_EQ(FinishInterruptedRewrites(folder), 0u);
}

TEST_F(JournalFolder, ADamagedJournalRewritesNothingAndGoes) {
    WriteBytes(folder / "page 1.data", Image('o'));
    std::string bytes = EncodeRecordJournal({{"page 1.data", Image('x')}});
    WriteBytes(folder / kRecordJournalFile, bytes.substr(0, bytes.size() - 1));
    EXPECT_TRUE(ReadRecordJournal(folder).empty());
    EXPECT_EQ(FinishInterruptedRewrites(folder), 0u);
    EXPECT_EQ(ReadBytes(folder / "page 1.data"), Image('o'));
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
}

// The journal of a run's last batch, marked once its rewrites are in.
TEST_F(JournalFolder, AMarkOfThisBootSaysTheRewritesAreInAndLeavesTheJournalWhole) {
    std::string bytes = EncodeRecordJournal(TwoEntries());
    ASSERT_TRUE(WriteRecordJournal(folder, bytes));
    EXPECT_FALSE(RecordJournalAppliedThisBoot(folder)) << "not marked yet";
    ASSERT_TRUE(MarkRecordJournalApplied(folder, bytes.size()));
    EXPECT_TRUE(RecordJournalAppliedThisBoot(folder));
    EXPECT_TRUE(Same(ReadRecordJournal(folder), TwoEntries()));

    std::string marked = ReadBytes(folder / kRecordJournalFile);
    ASSERT_EQ(marked.substr(0, bytes.size()), bytes);
    std::string mark = marked.substr(bytes.size());
    EXPECT_EQ(mark.substr(0, 4), "WJRA");
    EXPECT_EQ(mark.substr(4) + "\n", ReadBytes("/proc/sys/kernel/random/boot_id"));

    // After a crash of the machine the mark names another boot; a mark cut short or a damaged
    // journal is no mark either. The journal itself stays whole in every case.
    std::string otherBoot = marked;
    otherBoot.back() = otherBoot.back() == '0' ? '1' : '0';
    std::string damaged = marked;
    damaged[20] = static_cast<char>(damaged[20] ^ 1);
    for (const std::string& variant : {otherBoot, marked.substr(0, marked.size() - 1)}) {
        WriteBytes(folder / kRecordJournalFile, variant);
        EXPECT_FALSE(RecordJournalAppliedThisBoot(folder));
        EXPECT_TRUE(Same(ReadRecordJournal(folder), TwoEntries()));
    }
    WriteBytes(folder / kRecordJournalFile, damaged);
    EXPECT_FALSE(RecordJournalAppliedThisBoot(folder));
    EXPECT_TRUE(ReadRecordJournal(folder).empty());
}

TEST_F(JournalFolder, AMarkedJournalFromAnotherBootIsWrittenAgainAtStart) {
    WriteBytes(folder / "page 1.data", Image('o'));  // as a power cut could leave it
    std::string bytes = EncodeRecordJournal({{"page 1.data", Image('x')}});
    ASSERT_TRUE(WriteRecordJournal(folder, bytes));
    ASSERT_TRUE(MarkRecordJournalApplied(folder, bytes.size()));
    std::string marked = ReadBytes(folder / kRecordJournalFile);
    marked.back() = marked.back() == '0' ? '1' : '0';
    WriteBytes(folder / kRecordJournalFile, marked);

    EXPECT_EQ(FinishInterruptedRewrites(folder), 1u);
    EXPECT_EQ(ReadBytes(folder / "page 1.data"), Image('x'));
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
}

TEST_F(JournalFolder, AClearedJournalIsGone) {
    ASSERT_TRUE(WriteRecordJournal(folder, EncodeRecordJournal(TwoEntries())));
    ClearRecordJournal(folder);
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
    EXPECT_TRUE(ReadRecordJournal(folder).empty());
}

}  // namespace
}  // namespace wardlet
