// The comparison rules on real files: block comparisons, counting, middle extracts.
#include "monitor/engine/change_detection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

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

// Counted as the document arrives: the same count wherever the pieces break, zero bytes and
// matches straddling pieces included.
TEST(StringCounterTest, PiecesOfAnySizeCountAsTheWholeText) {
    static const char kText[] = "aa\0aa<tag><t\0ag>aaaa<tag";
    const std::string text(kText, sizeof kText - 1);
    for (std::string needle : {"aa", "<tag>", "a", ""}) {
        StringCounter whole(needle);
        whole.Feed(text.data(), text.size());
        for (size_t piece = 1; piece <= 5; ++piece) {
            StringCounter pieces(needle);
            for (size_t at = 0; at < text.size(); at += piece)
                pieces.Feed(text.data() + at, std::min(piece, text.size() - at));
            EXPECT_EQ(pieces.count(), whole.count()) << needle << " in pieces of " << piece;
        }
    }
    StringCounter tags("<tag>");
    tags.Feed(text.data(), text.size());
    EXPECT_EQ(tags.count(), 2);  // "<t\0ag>" is a tag once the zero byte is dropped
}

TEST_F(ChangeDetectionTest, MiddleExtractTakesTheTextBetweenTheStrings) {
    EXPECT_EQ(MiddleExtract("x[b]42[/b]y", "[b]", "[/b]"), "42");
    EXPECT_EQ(MiddleExtract("[b]42", "[b]", "[/b]"), std::nullopt);
    EXPECT_EQ(MiddleExtract("no start", "[b]", "[/b]"), std::nullopt);
    EXPECT_EQ(MiddleExtract("xaby", "ab", "b"), "");  // the end string inside the start string
    EXPECT_EQ(ReadDocumentText(File("z", std::string("a\0b", 3))), "ab");
}

// The streamed extract equals the one taken from the whole text, wherever the pieces break and
// whatever the strings (empty ones and ones overlapping each other included).
TEST_F(ChangeDetectionTest, StreamedExtractEqualsTheWholeTextOne) {
    std::mt19937 random(7);
    auto text = [&](size_t max) {
        std::string t(random() % (max + 1), 'a');
        for (char& c : t)
            c = "ab["[random() % 3];
        return t;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string page = text(40), start = text(3), end = text(3);
        std::string streamed;
        MiddleFinder finder(start, end, [&](const char* data, size_t size) {
            streamed.append(data, size);
            return true;
        });
        for (size_t at = 0; at < page.size();) {
            size_t piece = std::min<size_t>(1 + random() % 5, page.size() - at);
            finder.Feed(page.data() + at, piece);
            at += piece;
        }
        auto whole = MiddleExtract(page, start, end);
        ASSERT_EQ(finder.found(), whole.has_value()) << page << " / " << start << " / " << end;
        if (whole) {
            ASSERT_EQ(streamed, *whole) << page << " / " << start << " / " << end;
        }
    }
}

TEST_F(ChangeDetectionTest, ExtractsAreFoundInTheBodyAndComparedByTheNewExtractsLength) {
    std::string got;
    MiddleFinder finder("[b]", "[/b]", [&](const char* data, size_t size) {
        got.append(data, size);
        return true;
    });
    const std::string withZero("x[b]4\0002[/b]", 11);
    EXPECT_TRUE(finder.FeedBody(withZero.data(), withZero.size()));
    EXPECT_TRUE(finder.found());
    EXPECT_EQ(got, "42");  // the zero byte is not document text
    MiddleFinder refusing("[b]", "[/b]", [](const char*, size_t) { return false; });
    EXPECT_FALSE(refusing.FeedBody("[b]42[/b]", 9));

    // 1 changed, 0 not, by as many bytes of the stored extract as the new one has.
    auto compare = [&](const std::string& extract, const std::string& stored) {
        std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(File("m", stored).c_str(), "rb"), fclose);
        StreamComparator comparator(file.get(), StreamComparator::Extent::BodyLength);
        for (size_t at = 0; at < extract.size(); at += 1000)
            comparator.Feed(extract.data() + at, std::min<size_t>(1000, extract.size() - at));
        return comparator.Finish() ? 1 : 0;
    };
    EXPECT_EQ(compare("42\xe9", "42\xe9"), 0);
    EXPECT_EQ(compare("42\xe8", "42\xe9"), 1);
    EXPECT_EQ(compare("42\xe9!", "42\xe9"), 1);  // the stored extract ended first
    EXPECT_EQ(compare("42", "42\xe9"), 0);       // the rest is not read
    EXPECT_EQ(compare("", "42\xe9"), 0);
    std::string big(300000, 'm');
    EXPECT_EQ(compare(big, big), 0);
    EXPECT_EQ(compare(big + "x", big), 1);
}

}  // namespace
}  // namespace wardlet::test
