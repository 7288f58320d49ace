// The dialogs' display-free rules: data view panes, interval stepping, thread list, e-mail form,
// FTP test addresses, the web target with an account, and the log-in start entry on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/app/autostart_entry.h"
#include "monitor/app/data_view_text.h"
#include "monitor/app/mail_form.h"
#include "monitor/app/options_form.h"
#include "monitor/app/properties_form.h"
#include "temp_home.h"

namespace wardlet {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

// Sets an environment variable (unsets it for nullptr) for the object's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DataViewText, PanesForTheEdgeCases) {
    EXPECT_EQ(FormatDataView("").hex, "");
    EXPECT_EQ(FormatDataView("").characters, "");

    DataViewText seven = FormatDataView("abcdefg");
    EXPECT_EQ(seven.hex, "61 62 63 64 65 66 \n67 ");
    EXPECT_EQ(seven.characters, "abcdefg");

    DataViewText breaks = FormatDataView(std::string("a\r\nb\0c", 6));
    EXPECT_EQ(breaks.hex, "61 0D 0A 62 00 63 \n");
    EXPECT_EQ(breaks.characters, "a\nbc");

    std::string big(5000, 'x');
    big[2051] = 'L';
    big[2052] = 'M';
    DataViewText cut = FormatDataView(big);
    EXPECT_EQ(cut.characters.size(), 2052u);
    EXPECT_EQ(cut.characters.back(), 'L');
    EXPECT_EQ(cut.hex.size(), 342u * (6 * 3 + 1));
    EXPECT_EQ(cut.hex.substr(cut.hex.size() - 4), "4C \n");
}

TEST(OptionsForm, IntervalStepsAndThreadList) {
    EXPECT_EQ(StepInterval(598, true), 603u);
    EXPECT_EQ(StepInterval(603, true), 603u);
    EXPECT_EQ(StepInterval(3, false), 3u);
    EXPECT_EQ(StepInterval(3, true), 8u);
    EXPECT_EQ(StepInterval(6, false), 1u);
    EXPECT_EQ(StepInterval(5, false), 5u);
    EXPECT_EQ(IntervalText(-1), "4294967295");
    EXPECT_EQ(ReadUnsigned("4294967295"), 4294967295u);

    EXPECT_EQ(ThreadItemOf(1), 0);
    EXPECT_EQ(ThreadItemOf(5), 4);
    EXPECT_FALSE(ThreadItemOf(0));
    EXPECT_FALSE(ThreadItemOf(7));
    EXPECT_FALSE(ThreadItemOf(-3));
    EXPECT_EQ(ThreadCountOf(std::nullopt), 1);
    EXPECT_EQ(ThreadCountOf("4"), 4);
}

MailFormInput FilledForm() {
    MailFormInput in;
    in.server = "smtp.example.com";
    in.to = "to@example.com";
    in.sendOnChange = true;
    return in;
}

TEST(MailForm, ApplyRefusesInOrderAndStoresWholeTexts) {
    MailConfig working{};
    StagedCredentials none;
    MailFormInput in = FilledForm();
    in.sendOnChange = false;
    in.server.clear();
    EXPECT_EQ(ApplyMailForm(in, none, working),
              "Please select an option at [Send when] section to apply.");
    in.sendOnUnreachable = true;
    EXPECT_EQ(ApplyMailForm(in, none, working), "Please enter the SMTP server address.");
    in.server = std::string(80, 's');
    EXPECT_EQ(ApplyMailForm(in, none, working),
              "The SMTP server address can hold at most 79 characters.");
    in.server = std::string(79, 's');
    in.to.clear();
    EXPECT_EQ(ApplyMailForm(in, none, working), "Please enter 'TO:' recipient email address.");
    in.to = "to@example.com";
    in.bcc = std::string(80, 'b');
    EXPECT_EQ(ApplyMailForm(in, none, working),
              "The 'BCC:' address can hold at most 79 characters.");
    in.bcc = "bcc@example.com";
    in.markNotifiedChecked = true;
    EXPECT_EQ(ApplyMailForm(in, none, working), std::nullopt);
    EXPECT_EQ(FieldText(working.smtpServer), std::string(79, 's'));
    EXPECT_EQ(working.sendOnChange, 0);
    EXPECT_EQ(working.sendOnUnreachable, 1);
    EXPECT_EQ(working.markNotifiedChecked, 1);

    // The test mail's reading has no "Send When" rule.
    MailFormInput test = FilledForm();
    test.sendOnChange = false;
    EXPECT_EQ(ReadServerAndRecipients(test, none, working), std::nullopt);
}

TEST(MailForm, CredentialsNeedBothTextsAndReachTheCopyOnlyWhenStaged) {
    StagedCredentials staged;
    EXPECT_EQ(StageCredentials("user", "", staged), "Please enter the username / password.");
    EXPECT_EQ(StageCredentials("", "pw", staged), "Please enter the username / password.");
    EXPECT_FALSE(staged.staged);
    MailConfig working{};
    SetFieldText(working.smtpUserName, "old");
    ASSERT_EQ(ReadServerAndRecipients(FilledForm(), staged, working), std::nullopt);
    EXPECT_EQ(FieldText(working.smtpUserName), "old");
    EXPECT_EQ(StageCredentials("user", "pw", staged), std::nullopt);
    ASSERT_EQ(ReadServerAndRecipients(FilledForm(), staged, working), std::nullopt);
    EXPECT_EQ(FieldText(working.smtpUserName), "user");
    EXPECT_EQ(FieldText(working.smtpPassword), "pw");
}

TEST(FtpProbeAddress, SplitsAndInvalidForms) {
    auto plain = SplitFtpProbeAddress("host/file.zip");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "host");
    EXPECT_EQ(plain->file, "file.zip");
    EXPECT_FALSE(plain->directory);
    auto deep = SplitFtpProbeAddress("ftp://host\\pub/sub\\file.zip");
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->host, "host");
    EXPECT_EQ(deep->directory, "pub/sub");
    EXPECT_EQ(deep->file, "file.zip");
    EXPECT_FALSE(SplitFtpProbeAddress("ftp://host"));
    EXPECT_FALSE(SplitFtpProbeAddress("/file.zip"));
    EXPECT_FALSE(SplitFtpProbeAddress("host\n/file.zip"));
}

TEST(PropertiesTexts, WebTargetWithAndWithoutAccount) {
    EXPECT_EQ(WebOpenTarget("HTTPS://a.example/x", true, "u", "p"), "https://u:p@a.example/x");
    EXPECT_EQ(WebOpenTarget("ftp://a.example/?q=s://", false, "u", "p"),
              "https://a.example/?q=s://");
    EXPECT_EQ(WebOpenTarget("a.example", false, "", ""), "http://a.example");
}

std::string EntryWithExec(const std::string& exec) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Wardlet\n"
           "Comment=Watch web pages and files for changes\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=wardlet\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

fs::path MakeProgram(const fs::path& folder) {
    fs::create_directories(folder);
    WriteBytes(folder / "Wardlet", "#!/bin/sh\n");
    fs::permissions(folder / "Wardlet", fs::perms::owner_all);
    return folder / "Wardlet";
}

TEST(AutostartEntry, LivesInTheAbsoluteConfigHomeElseUnderHome) {
    TempDir home;
    ScopedEnv homeVar("HOME", home.path().c_str());
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/elsewhere/config");
        EXPECT_EQ(AutostartEntryPath(), fs::path("/elsewhere/config/autostart/wardlet.desktop"));
    }
    const fs::path underHome = home.path() / ".config" / "autostart" / "wardlet.desktop";
    {
        ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(AutostartEntryPath(), underHome);
    }
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(AutostartEntryPath(), underHome);
    EXPECT_FALSE(AutostartEntryExists());
    ASSERT_EQ(WriteAutostartEntry("/opt/wardlet/Wardlet"), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(underHome), EntryWithExec("/opt/wardlet/Wardlet /hide"));
    EXPECT_TRUE(AutostartEntryExists());
}

TEST(AutostartEntry, StartsTheProgramByNameOnlyWhenItIsTheFirstOnPath) {
    TempDir tmp;
    ScopedEnv config("XDG_CONFIG_HOME", tmp.path().c_str());
    const fs::path entry = tmp.path() / "autostart" / "wardlet.desktop";

    // Passed over: a "Wardlet" that is not executable, and a relative folder, which names
    // another folder at log-in (here it would name "later").
    fs::create_directories(tmp.path() / "plain");
    WriteBytes(tmp.path() / "plain" / "Wardlet", "not a program");
    const fs::path first = MakeProgram(tmp.path() / "bin");
    const fs::path shadowed = MakeProgram(tmp.path() / "later");
    // An installed link on PATH and the program it leads to.
    const fs::path target = MakeProgram(tmp.path() / "opt");
    fs::create_directories(tmp.path() / "links");
    fs::create_symlink(target, tmp.path() / "links" / "Wardlet");
    const fs::path oldCurrent = fs::current_path();
    fs::current_path(tmp.path());
    const std::string path = "later:" + (tmp.path() / "plain").string() + ":" +
                             (tmp.path() / "bin").string() + ":" + (tmp.path() / "later").string();
    {
        ScopedEnv pathVar("PATH", path.c_str());
        EXPECT_EQ(WriteAutostartEntry(first), AutostartResult::Done);
        EXPECT_EQ(ReadBytes(entry), EntryWithExec("Wardlet /hide"));
        EXPECT_EQ(test::FileMode(entry), 0644u);
        EXPECT_EQ(WriteAutostartEntry(shadowed), AutostartResult::Done);
        EXPECT_EQ(ReadBytes(entry), EntryWithExec(shadowed.string() + " /hide"));
    }
    const std::string linked = (tmp.path() / "links").string() + ":" + path;
    ScopedEnv pathVar("PATH", linked.c_str());
    EXPECT_EQ(WriteAutostartEntry(target), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry), EntryWithExec("Wardlet /hide"));
    EXPECT_EQ(WriteAutostartEntry(first), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry), EntryWithExec(first.string() + " /hide"));
    fs::current_path(oldCurrent);
}

TEST(AutostartEntry, QuotesAndEscapesAProgramPathThatNeedsIt) {
    TempDir tmp;
    ScopedEnv config("XDG_CONFIG_HOME", tmp.path().c_str());
    const fs::path entry = tmp.path() / "autostart" / "wardlet.desktop";
    const std::string base = tmp.path().string();

    ASSERT_EQ(WriteAutostartEntry(MakeProgram(tmp.path() / "build tree")), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry), EntryWithExec("\"" + base + "/build tree/Wardlet\" /hide"));

    // Inside the quotes '"', '$' and the backslash are escaped, then the string value doubles
    // every backslash; '%' is doubled so it starts no field code.
    ASSERT_EQ(WriteAutostartEntry(tmp.path() / "it's \"$HOME\" 100%\\x" / "Wardlet"),
              AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry),
              EntryWithExec("\"" + base + R"(/it's \\"\\$HOME\\" 100%%\\\\x/Wardlet" /hide)"));

    ASSERT_EQ(WriteAutostartEntry(tmp.path() / "100%" / "Wardlet"), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry), EntryWithExec(base + "/100%%/Wardlet /hide"));

    // A relative path is made absolute, since the session starts elsewhere.
    ASSERT_EQ(WriteAutostartEntry("out/./Wardlet"), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry),
              EntryWithExec((fs::current_path() / "out/Wardlet").string() + " /hide"));
}

TEST(AutostartEntry, WrittenIntoNewFoldersThenRemovedOnce) {
    TempDir tmp;
    const fs::path config = tmp.path() / "fresh" / "config";
    ScopedEnv configVar("XDG_CONFIG_HOME", config.c_str());
    const fs::path entry = config / "autostart" / "wardlet.desktop";
    EXPECT_EQ(RemoveAutostartEntry(), AutostartResult::Done);  // nothing there yet

    ASSERT_EQ(WriteAutostartEntry("/opt/wardlet/Wardlet"), AutostartResult::Done);
    EXPECT_EQ(ReadBytes(entry), EntryWithExec("/opt/wardlet/Wardlet /hide"));
    EXPECT_EQ(test::FileMode(config), 0700u);
    EXPECT_EQ(test::FileMode(config / "autostart"), 0700u);
    EXPECT_TRUE(AutostartEntryExists());
    EXPECT_EQ(std::distance(fs::directory_iterator(config / "autostart"), {}), 1);

    EXPECT_EQ(RemoveAutostartEntry(), AutostartResult::Done);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(AutostartEntryExists());
    EXPECT_EQ(RemoveAutostartEntry(), AutostartResult::Done);
    EXPECT_TRUE(fs::is_directory(config / "autostart"));
}

TEST(AutostartEntry, AFolderThatCannotBeWrittenFails) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    TempDir tmp;
    const fs::path config = tmp.path() / "config";
    ScopedEnv configVar("XDG_CONFIG_HOME", config.c_str());
    const fs::path entry = config / "autostart" / "wardlet.desktop";

    fs::create_directories(config);
    fs::permissions(config, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteAutostartEntry("/opt/wardlet/Wardlet"), AutostartResult::Failed);
    EXPECT_FALSE(fs::exists(config / "autostart"));

    fs::permissions(config, fs::perms::owner_all);
    ASSERT_EQ(WriteAutostartEntry("/opt/wardlet/Wardlet"), AutostartResult::Done);
    const std::string written = ReadBytes(entry);
    fs::permissions(config / "autostart", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteAutostartEntry("/opt/other/Wardlet"), AutostartResult::Failed);
    EXPECT_EQ(RemoveAutostartEntry(), AutostartResult::Failed);
    EXPECT_EQ(ReadBytes(entry), written);
    EXPECT_TRUE(AutostartEntryExists());
    fs::permissions(config / "autostart", fs::perms::owner_all);
}

}  // namespace
}  // namespace wardlet
