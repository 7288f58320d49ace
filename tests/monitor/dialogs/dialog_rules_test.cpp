// The dialogs' display-free rules: data view panes, interval stepping, thread list, e-mail form,
// FTP test addresses, and the web target with an account.
#include <gtest/gtest.h>

#include <string>

#include "common/little_endian.h"
#include "monitor/dialogs/data_view_text.h"
#include "monitor/dialogs/mail_form.h"
#include "monitor/dialogs/options_form.h"
#include "monitor/dialogs/properties_form.h"

namespace wardlet {
namespace {

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

TEST(FtpTestAddress, SplitsAndInvalidForms) {
    auto plain = SplitFtpTestAddress("host/file.zip");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "host");
    EXPECT_EQ(plain->file, "file.zip");
    EXPECT_FALSE(plain->directory);
    auto deep = SplitFtpTestAddress("ftp://host\\pub/sub\\file.zip");
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->host, "host");
    EXPECT_EQ(deep->directory, "pub/sub");
    EXPECT_EQ(deep->file, "file.zip");
    EXPECT_FALSE(SplitFtpTestAddress("ftp://host"));
    EXPECT_FALSE(SplitFtpTestAddress("/file.zip"));
    EXPECT_FALSE(SplitFtpTestAddress("host\n/file.zip"));
}

TEST(PropertiesTexts, WebTargetWithAndWithoutAccount) {
    EXPECT_EQ(WebOpenTarget("HTTPS://a.example/x", true, "u", "p"), "https://u:p@a.example/x");
    EXPECT_EQ(WebOpenTarget("ftp://a.example/?q=s://", false, "u", "p"),
              "https://a.example/?q=s://");
    EXPECT_EQ(WebOpenTarget("a.example", false, "", ""), "http://a.example");
}

}  // namespace
}  // namespace wardlet
