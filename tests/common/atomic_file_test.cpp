#include "common/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/fd_io.h"
#include "common/temp_file.h"
#include "file_bytes.h"
#include "temp_home.h"

namespace wardlet {
namespace {

using test::FileMode;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs `child` in a forked process and returns its wait status.
template <typename F>
int RunInChild(F child) {
    pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST(ReplaceFileAtomically, WritesNewContentWithTheAskedModeAndNoStrayFile) {
    TempDir dir;
    auto file = dir.path() / "Doc.data";
    mode_t old = umask(0);
    EXPECT_TRUE(ReplaceFileAtomically(file, std::string("one\0two", 7), 0600));
    umask(old);
    EXPECT_EQ(ReadBytes(file), std::string("one\0two", 7));
    EXPECT_EQ(FileMode(file), 0600u);

    EXPECT_TRUE(ReplaceFileAtomically(file, "second", 0644));
    EXPECT_EQ(ReadBytes(file), "second");
    EXPECT_EQ(FileMode(file), 0644u);
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"Doc.data"});
}

TEST(ReplaceFileAtomically, FullDiskLeavesOldFileAndNoNewFile) {
    TempDir dir;
    auto file = dir.path() / "Doc.data";
    WriteBytes(file, "old content");
    int status = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool replaced = ReplaceFileAtomically(file, std::string(5000, 'n'));
        _exit(replaced ? 1 : 0);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the interrupted write must report failure";
    EXPECT_EQ(ReadBytes(file), "old content");
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"Doc.data"});
}

TEST(ReplaceFileAtomically, KilledBeforeRenameLeavesOldFile) {
    TempDir dir;
    auto file = dir.path() / "Doc.data";
    WriteBytes(file, "old content");
    int status = RunInChild([&] {
        SetBeforeRenameHookForTesting([] { raise(SIGKILL); });
        (void)ReplaceFileAtomically(file, "new content");
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(ReadBytes(file), "old content");
    // The new file left behind is a temporary file (removed at exit), never a second ".data".
    for (const auto& name : Entries(dir.path())) {
        if (name == "Doc.data") continue;
        EXPECT_TRUE(name.ends_with(".tmp")) << name;
        EXPECT_EQ(ReadBytes(dir.path() / name), "new content");
    }
}

TEST(AtomicReplaceBatch, ReplacesEveryWrittenFileAndSkipsOnesThatFailed) {
    TempDir dir;
    WriteBytes(dir.path() / "A.data", "old A");
    WriteBytes(dir.path() / "B.data", "old B");
    {
        AtomicReplaceBatch batch;
        EXPECT_TRUE(batch.Add(dir.path() / "A.data", "new A", 0600));
        EXPECT_FALSE(batch.Add(dir.path() / "missing" / "C.data", "new C"));
        EXPECT_TRUE(batch.Add(dir.path() / "B.data", "new B"));
        EXPECT_EQ(ReadBytes(dir.path() / "A.data"), "old A") << "nothing moves before Commit";
        EXPECT_EQ(batch.Commit(), 2u);
    }
    EXPECT_EQ(ReadBytes(dir.path() / "A.data"), "new A");
    EXPECT_EQ(ReadBytes(dir.path() / "B.data"), "new B");
    EXPECT_EQ(FileMode(dir.path() / "A.data"), 0600u);
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"A.data", "B.data"}));
}

TEST(AtomicReplaceBatch, UncommittedOrKilledBatchLeavesTheOldFiles) {
    TempDir dir;
    WriteBytes(dir.path() / "A.data", "old A");
    {
        AtomicReplaceBatch batch;
        batch.Add(dir.path() / "A.data", "new A");
    }
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"A.data"}));
    int status = RunInChild([&] {
        SetBeforeRenameHookForTesting([] { raise(SIGKILL); });
        AtomicReplaceBatch batch;
        batch.Add(dir.path() / "A.data", "new A");
        batch.Commit();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadBytes(dir.path() / "A.data"), "old A");
}

TEST(RewriteInPlace, OnlyAWholePlainFileIsReadForARewriteAndNothingIsCreatedOrFollowed) {
    TempDir dir;
    auto file = dir.path() / "r.data";
    WriteBytes(file, "0123456789");
    chmod(file.c_str(), 0644);
    EXPECT_EQ(ReadFileToRewrite(file, 10, 0644).value_or("none"), "0123456789");
    EXPECT_FALSE(ReadFileToRewrite(file, 11, 0644)) << "another size";
    EXPECT_FALSE(ReadFileToRewrite(file, 10, 0600)) << "other permissions";
    EXPECT_FALSE(ReadFileToRewrite(dir.path() / "none", 10, 0644));
    std::filesystem::create_symlink(file, dir.path() / "link");
    EXPECT_FALSE(ReadFileToRewrite(dir.path() / "link", 10, 0644));
    std::filesystem::create_hard_link(file, dir.path() / "second");
    EXPECT_FALSE(ReadFileToRewrite(file, 10, 0644)) << "a second name";
    std::filesystem::remove(dir.path() / "second");

    ASSERT_TRUE(RewriteFileRange(file, 3, "abc"));
    EXPECT_EQ(ReadBytes(file), "012abc6789");
    EXPECT_FALSE(RewriteFileRange(dir.path() / "link", 0, "x"));
    EXPECT_FALSE(RewriteFileRange(dir.path() / "none", 0, "x"));
    EXPECT_EQ(ReadBytes(file), "012abc6789");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"r.data", "link"}));
}

TEST(CreateTempFile, CreatesEmptyUvpFilesAndNeverReusesOne) {
    TempDir dir;
    std::vector<std::filesystem::path> made;
    // Enough files that random names collide: each must still be a new file.
    for (int i = 0; i < 1500; ++i) {
        auto file = CreateTempFile(dir.path());
        ASSERT_TRUE(file);
        std::string name = file->filename().string();
        EXPECT_TRUE(name.size() > 7 && name.starts_with("UVP") && name.ends_with(".tmp") &&
                    name.find_first_not_of("0123456789ABCDEFabcdef", 3) == name.size() - 4)
            << name;
        EXPECT_EQ(file->parent_path(), dir.path());
        EXPECT_EQ(ReadBytes(*file), "");
        WriteBytes(*file, "owner " + std::to_string(i));
        made.push_back(*file);
    }
    for (size_t i = 0; i < made.size(); ++i)
        EXPECT_EQ(ReadBytes(made[i]), "owner " + std::to_string(i));
    EXPECT_FALSE(CreateTempFile(dir.path() / "missing"));
}

}  // namespace
}  // namespace wardlet

namespace wardlet {
namespace {

TEST(DataFileCopies, ACopyReportsProgressAndAStopLeavesTheTargetAsItWas) {
    TempDir dir;
    std::string stored(5 << 20, 's');
    WriteBytes(dir.path() / "doc.content", stored);
    WriteBytes(dir.path() / "target", "what was there");
    std::vector<uint64_t> seen;
    auto stopAfterTwo = [&](uint64_t done, uint64_t total) {
        EXPECT_EQ(total, stored.size());
        seen.push_back(done);
        return seen.size() < 2;
    };
    EXPECT_EQ(ReplaceFileWithCopyOf(dir.path() / "target", dir.path() / "doc.content", 0644,
                                    stopAfterTwo),
              CopyOutcome::Cancelled);
    EXPECT_EQ(ReadBytes(dir.path() / "target"), "what was there");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"doc.content", "target"}));
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_GT(seen[1], 0u);

    seen.clear();
    auto all = [&](uint64_t done, uint64_t) {
        seen.push_back(done);
        return true;
    };
    EXPECT_EQ(ReplaceFileWithCopyOf(dir.path() / "target", dir.path() / "doc.content", 0644, all),
              CopyOutcome::Done);
    EXPECT_EQ(ReadBytes(dir.path() / "target"), stored);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    // A new copy: never over an existing file, gone when stopped.
    EXPECT_EQ(CopyToNewFile(dir.path() / "target", dir.path() / "doc.content", 0600, {}),
              CopyOutcome::Failed);
    EXPECT_EQ(ReadBytes(dir.path() / "target"), stored);
    seen.clear();
    EXPECT_EQ(CopyToNewFile(dir.path() / "fresh", dir.path() / "doc.content", 0600, stopAfterTwo),
              CopyOutcome::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "fresh"));
    EXPECT_EQ(CopyToNewFile(dir.path() / "fresh", dir.path() / "doc.content", 0600, {}),
              CopyOutcome::Done);
    EXPECT_EQ(ReadBytes(dir.path() / "fresh"), stored);
    EXPECT_EQ(FileMode(dir.path() / "fresh"), 0600u);
}

TEST(DataFileCopies, NoModeOfTheDataFileOpenerGoesThroughALink) {
    TempDir dir;
    WriteBytes(dir.path() / "private", "the user's");
    std::filesystem::create_symlink(dir.path() / "private", dir.path() / "planted");
    for (DataFileMode mode : {DataFileMode::Read, DataFileMode::Rewrite, DataFileMode::CreateNew})
        EXPECT_FALSE(OpenDataFile(dir.path() / "planted", mode).valid()) << static_cast<int>(mode);
    EXPECT_EQ(ReadBytes(dir.path() / "private"), "the user's");
    EXPECT_EQ(CopyToNewFile(dir.path() / "copy", dir.path() / "planted", 0600, {}),
              CopyOutcome::Failed);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "copy"));
    EXPECT_EQ(CopyToNewFile(dir.path() / "planted", dir.path() / "private", 0600, {}),
              CopyOutcome::Failed);
    EXPECT_EQ(ReadBytes(dir.path() / "private"), "the user's");
    // Rewrite empties only an existing plain file; CreateNew makes one.
    UniqueFd fresh = OpenDataFile(dir.path() / "new", DataFileMode::CreateNew, 0600);
    ASSERT_TRUE(fresh.valid());
    EXPECT_TRUE(WriteAll(fresh.get(), "abc"));
    EXPECT_FALSE(OpenDataFile(dir.path() / "new", DataFileMode::CreateNew).valid());
    EXPECT_TRUE(OpenDataFile(dir.path() / "new", DataFileMode::Rewrite).valid());
    EXPECT_EQ(ReadBytes(dir.path() / "new"), "");
    EXPECT_FALSE(OpenDataFile(dir.path() / "missing", DataFileMode::Rewrite).valid());
}

// Records are opened relative to their folder, held open: the same files, the same refusals.
TEST(DataFileCopies, AFileOpenedInItsOpenFolderIsTheFileItsPathNames) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "data");
    WriteBytes(dir.path() / "data" / "page.data", "record");
    WriteBytes(dir.path() / "elsewhere", "other");
    std::filesystem::create_symlink(dir.path() / "elsewhere", dir.path() / "data" / "planted");
    for (const std::filesystem::path& folder : {dir.path() / "data", dir.path() / "data" / ""}) {
        OpenFolder in(folder);
        EXPECT_EQ(in.Locate(dir.path() / "data" / "page.data").second, "page.data");
        EXPECT_EQ(in.Locate(dir.path() / "elsewhere").first, AT_FDCWD) << "not in the folder";
        EXPECT_EQ(ReadFileToRewrite(dir.path() / "data" / "page.data", 6,
                                    FileMode(dir.path() / "data" / "page.data"), &in),
                  "record");
        EXPECT_FALSE(
            OpenDataFile(dir.path() / "data" / "planted", DataFileMode::Read, 0600, &in).valid());
        EXPECT_FALSE(RewriteFileRange(dir.path() / "data" / "planted", 0, "x", &in));
        EXPECT_FALSE(RewriteFileRange(dir.path() / "data" / "missing", 0, "x", &in));
        EXPECT_TRUE(RewriteFileRange(dir.path() / "elsewhere", 0, "O", &in));
    }
    EXPECT_EQ(ReadBytes(dir.path() / "elsewhere"), "Other");
    // A folder that cannot be opened leaves every file to its path.
    OpenFolder none(dir.path() / "no such folder");
    EXPECT_EQ(none.Locate(dir.path() / "no such folder" / "x.data").first, AT_FDCWD);
    EXPECT_TRUE(RewriteFileRange(dir.path() / "data" / "page.data", 0, "R", &none));
    EXPECT_EQ(ReadBytes(dir.path() / "data" / "page.data"), "Record");
}

TEST(DataFileReads, WholeFilesAndComparisonsAcrossBlockBoundaries) {
    TempDir dir;
    // Sizes around the 64 KiB read block: a difference in the last byte of a block, in the
    // first of the next, and a file one byte longer or shorter than the bytes.
    std::string bytes(3 * 65536 + 7, 'x');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    WriteBytes(dir.path() / "page", bytes);
    EXPECT_EQ(ReadDataFile(dir.path() / "page"), bytes);
    EXPECT_EQ(DataFileHolds(dir.path() / "page", bytes), true);
    for (size_t at : {size_t{0}, size_t{65535}, size_t{65536}, bytes.size() - 1}) {
        std::string other = bytes;
        other[at] = '#';
        EXPECT_EQ(DataFileHolds(dir.path() / "page", other), false) << at;
    }
    EXPECT_EQ(DataFileHolds(dir.path() / "page", bytes + "y"), false);
    EXPECT_EQ(DataFileHolds(dir.path() / "page", bytes.substr(0, 65536)), false);
    WriteBytes(dir.path() / "empty", "");
    EXPECT_EQ(DataFileHolds(dir.path() / "empty", ""), true);
    EXPECT_EQ(ReadDataFile(dir.path() / "empty"), "");
    EXPECT_EQ(DataFileHolds(dir.path() / "missing", ""), std::nullopt);
    std::filesystem::create_symlink(dir.path() / "page", dir.path() / "planted");
    EXPECT_EQ(DataFileHolds(dir.path() / "planted", bytes), std::nullopt) << "never through a link";
}

// Every pass rewrites its records, so each is newer than its last read: a read that set the
// access time would write every inode again at the next start.
TEST(DataFileReads, AReadLeavesTheAccessTimeOfAFileWrittenSince) {
    TempDir dir;
    std::filesystem::path file = dir.path() / "page 1.data";
    WriteBytes(file, std::string(4632, 'r'));
    timespec times[2] = {{1000000000, 0}, {0, UTIME_NOW}};  // read long ago, written now
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    auto accessed = [&] {
        struct stat st {};
        stat(file.c_str(), &st);
        return st.st_atim.tv_sec;
    };
    EXPECT_TRUE(ReadDataFile(file));
    EXPECT_TRUE(ReadFileToRewrite(file, 4632, FileMode(file)));
    UniqueFd opened = OpenDataFile(file, DataFileMode::Read);
    char byte = 0;
    EXPECT_EQ(read(opened.get(), &byte, 1), 1);
    EXPECT_EQ(accessed(), 1000000000);
}

}  // namespace
}  // namespace wardlet
