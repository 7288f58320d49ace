#include "common/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

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
        ReplaceFileAtomically(file, "new content");
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
