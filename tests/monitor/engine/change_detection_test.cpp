// The comparison rules on real files: block comparisons, counting, middle extracts.
#include "monitor/engine/change_detection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "file_bytes.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

class ChangeDetectionTest : public ::testing::Test {
protected:
    std::filesystem::path File(const std::string& name, const std::string& bytes) {
        auto path = dir_.path() / name;
        WriteBytes(path, bytes);
        return path;
    }
    // Web comparison of `body`, fed in pieces of `piece` bytes, against a stored copy.
    bool WebDiffers(const std::string& stored, const std::string& body, size_t piece) {
        FILE* file = fopen(File("stored", stored).c_str(), "rb");
        StreamComparator comparator(file);
        for (size_t at = 0; at < body.size(); at += piece)
            comparator.Feed(body.data() + at, std::min(piece, body.size() - at));
        bool differs = comparator.Finish();
        fclose(file);
        return differs;
    }
    FileComparison CompareContents(const std::string& fresh, const std::string& stored) {
        int a = open(File("a", fresh).c_str(), O_RDONLY);
        int b = open(File("b", stored).c_str(), O_RDONLY);
        std::atomic<bool> stop{false};
        FileComparison result = CompareFiles(a, b, stop);
        close(a);
        close(b);
        return result;
    }
    TempDir dir_;
};

TEST_F(ChangeDetectionTest, WebComparisonIsFullEquality) {
    std::string page(20000, 'p');
    EXPECT_FALSE(WebDiffers(page, page, 8192));
    EXPECT_FALSE(WebDiffers("", "", 8192));
    EXPECT_TRUE(WebDiffers(page, page + "x", 8192));
    EXPECT_TRUE(WebDiffers(page, page.substr(1), 8192));
    EXPECT_TRUE(WebDiffers(page, page.substr(0, page.size() - 1), 7));
    std::string altered = page;
    altered[12345] = 'q';
    EXPECT_TRUE(WebDiffers(page, altered, 8192));
}

TEST_F(ChangeDetectionTest, FileComparisonReportsACopyThatWasCutShort) {
    std::string stored(1000, 's');
    EXPECT_EQ(CompareContents(stored.substr(0, 600), stored), FileComparison::Different);
    EXPECT_EQ(CompareContents(stored + "more", stored), FileComparison::Different);
    EXPECT_EQ(CompareContents(std::string(512, 'x'), std::string(512, 'x')), FileComparison::Equal);
    std::string big(200000, 'b');
    EXPECT_EQ(CompareContents(big, big), FileComparison::Equal);
    EXPECT_EQ(CompareContents("", ""), FileComparison::Equal);
}

TEST_F(ChangeDetectionTest, CountFindsOverlappingOccurrencesAcrossBlocksWithoutZeroBytes) {
    EXPECT_EQ(CountString(File("t", "aaaa"), "aa"), 3);
    EXPECT_EQ(CountString(File("t", std::string("a\0a", 3)), "aa"), 1);
    EXPECT_EQ(CountString(dir_.path() / "absent", "aa"), -1);
    EXPECT_EQ(CountString(File("t", "abc"), ""), 4);  // found at every position
    // A match straddling the 1 MiB block boundary counts once.
    std::string text(1 << 20, '.');
    text.replace(text.size() - 2, 2, "<t");
    text += "ag>.<tag>";
    EXPECT_EQ(CountString(File("big", text), "<tag>"), 2);
}

TEST_F(ChangeDetectionTest, MiddleExtractTakesTheTextBetweenTheStrings) {
    EXPECT_EQ(MiddleExtract("x[b]42[/b]y", "[b]", "[/b]"), "42");
    EXPECT_EQ(MiddleExtract("[b]42", "[b]", "[/b]"), std::nullopt);
    EXPECT_EQ(MiddleExtract("no start", "[b]", "[/b]"), std::nullopt);
    EXPECT_EQ(MiddleExtract("xaby", "ab", "b"), "");  // the end string inside the start string
    EXPECT_EQ(ReadDocumentText(File("z", std::string("a\0b", 3))), "ab");

    auto middle = File("m", "42\xe9");
    EXPECT_EQ(CompareWithStoredExtract("42\xe9", middle), 0);
    EXPECT_EQ(CompareWithStoredExtract("42\xe8", middle), 1);
    EXPECT_EQ(CompareWithStoredExtract("42\xe9!", middle), 1);  // the file ended first
    EXPECT_EQ(CompareWithStoredExtract("", middle), 0);
    EXPECT_EQ(CompareWithStoredExtract("42", dir_.path() / "absent"), -1);
}

}  // namespace
}  // namespace wardlet::test
