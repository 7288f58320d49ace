// The properties dialog: its opening state, typing, clicks and Apply.
#include "properties_dialog_fixture.h"

namespace wardlet::test {
namespace {

TEST_F(PropertiesDialogTest, OpeningStateOfEachModeAndType) {
    auto add = Open(PropertiesMode::Add);
    EXPECT_EQ(add->windowTitle(), "Add Document");
    EXPECT_EQ(Snapshot(add.get()), "&Open..." + kWebBase + " typeWebPage methodSimple");
    EXPECT_EQ(Text(add.get(), "nameEdit"), "");
    EXPECT_EQ(Find<QLabel>(add.get(), "infoText")->text().toStdString(),
              TypeExample(DocumentType::WebPage));

    size_t middle = AddRecord(DocumentType::WebPage, "Middle", "http://m", [](DocumentRecord& r) {
        r.useMiddle = 1;
        r.useCount = 1;  // middle wins in the dialog, as it shows the record
        SetFieldText(r.middleStart, "<b>");
        SetFieldText(r.middleEnd, "</b>");
        SetFieldText(r.countString, "never shown");
    });
    size_t count = AddRecord(DocumentType::WebPage, "Count", "http://c", [](DocumentRecord& r) {
        r.useCount = 1;
        SetFieldText(r.countString, "word");
        r.useAccount = 1;
        SetFieldText(r.userName, "u");
        SetFieldText(r.password, "p");
    });
    size_t web = AddRecord(DocumentType::WebFile, "File", "http://f", [](DocumentRecord& r) {
        r.useCount = 1;
        SetFieldText(r.countString, "ignored");
    });
    size_t ftp = AddRecord(DocumentType::FtpFile, "Ftp", "host/x");
    size_t local = AddRecord(DocumentType::LocalFile, "Local", "/var/log/x");

    auto edit = Open(PropertiesMode::Edit, middle);
    EXPECT_EQ(edit->windowTitle(), "Document Properties");
    EXPECT_EQ(Snapshot(edit.get()),
              "&Open... | URL: | methodSimple methodCount methodMiddle "
              "middleStartEdit andLabel middleEndEdit accountCheck | "
              "typeWebPage methodMiddle");
    EXPECT_EQ(Text(edit.get(), "middleStartEdit"), "<b>");
    EXPECT_EQ(Text(edit.get(), "countEdit"), "");
    EXPECT_EQ(Text(edit.get(), "nameEdit"), "Middle");
    EXPECT_EQ(Text(edit.get(), "locationEdit"), "http://m");

    auto copy = Open(PropertiesMode::Copy, count);
    EXPECT_EQ(copy->windowTitle(), "Copy Document");
    EXPECT_EQ(Snapshot(copy.get()),
              "&Open... | URL: | methodSimple methodCount countEdit "
              "methodMiddle accountCheck" +
                  kAccountFields + " | typeWebPage methodCount accountCheck");
    EXPECT_EQ(Text(copy.get(), "countEdit"), "word");
    EXPECT_EQ(Text(copy.get(), "passwordEdit"), "p");

    EXPECT_EQ(Snapshot(Open(PropertiesMode::Edit, web).get()),
              "&Open... | URL: | accountCheck | typeWebFile methodSimple");
    EXPECT_EQ(Text(Open(PropertiesMode::Edit, web).get(), "countEdit"), "");
    EXPECT_EQ(Snapshot(Open(PropertiesMode::Edit, ftp).get()),
              "&Connect... | URL: | accountCheck | typeFtpFile methodSimple");
    EXPECT_EQ(Snapshot(Open(PropertiesMode::Edit, local).get()),
              "&Browse.. | Local Path: | | typeLocalFile methodSimple");
}

TEST_F(PropertiesDialogTest, TypingGoesToTheNameOrWhenCopyingToTheUrl) {
    size_t slot = AddRecord(DocumentType::WebPage, "Page", "http://p");
    for (PropertiesMode mode : {PropertiesMode::Add, PropertiesMode::Edit, PropertiesMode::Copy}) {
        auto dialog = Open(mode, slot);
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        const char* expected = mode == PropertiesMode::Copy ? "locationEdit" : "nameEdit";
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), expected);
        QTest::keyClicks(QApplication::focusWidget(), "x");
        EXPECT_EQ(Text(dialog.get(), expected).back(), 'x');
    }
}

TEST_F(PropertiesDialogTest, ClickTable) {
    struct Row {
        std::vector<const char*> clicks;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {{"methodCount"},
         "&Open... | URL: | methodSimple methodCount countEdit methodMiddle accountCheck | "
         "typeWebPage methodCount"},
        {{"methodMiddle"},
         "&Open... | URL: | methodSimple methodCount methodMiddle middleStartEdit andLabel "
         "middleEndEdit accountCheck | typeWebPage methodMiddle"},
        {{"methodMiddle", "methodSimple"}, "&Open..." + kWebBase + " typeWebPage methodSimple"},
        {{"accountCheck"},
         "&Open..." + kWebBase.substr(0, kWebBase.size() - 2) + kAccountFields +
             " | typeWebPage methodSimple accountCheck"},
        {{"accountCheck", "accountCheck"}, "&Open..." + kWebBase + " typeWebPage methodSimple"},
        {{"typeWebFile"}, "&Open... | URL: | accountCheck | typeWebFile methodSimple"},
        {{"methodCount", "typeFtpFile"},
         "&Connect... | URL: | accountCheck | typeFtpFile methodCount"},
        {{"accountCheck", "typeWebFile"},
         "&Open... | URL: | accountCheck" + kAccountFields +
             " | typeWebFile methodSimple accountCheck"},
        {{"accountCheck", "typeLocalFile"},
         "&Browse... | Local Path: | | typeLocalFile methodSimple accountCheck"},
        {{"methodMiddle", "typeLocalFile", "typeWebPage"},
         "&Open... | URL: | methodSimple methodCount methodMiddle middleStartEdit andLabel "
         "middleEndEdit accountCheck | typeWebPage methodMiddle"},
        {{"typeLocalFile", "typeFtpFile"},
         "&Connect... | URL: | accountCheck | typeFtpFile methodSimple"},
    };
    for (const Row& row : rows) {
        auto dialog = Open(PropertiesMode::Add);
        std::string trail;
        for (const char* click : row.clicks) {
            Click(dialog.get(), click);
            trail += std::string(click) + " ";
        }
        EXPECT_EQ(Snapshot(dialog.get()), row.expected) << trail;
    }
    auto dialog = Open(PropertiesMode::Add);
    Click(dialog.get(), "typeFtpFile");
    EXPECT_EQ(Find<QLabel>(dialog.get(), "infoText")->text().toStdString(),
              TypeExample(DocumentType::FtpFile));
}

TEST_F(PropertiesDialogTest, ApplyStopsAtTheFirstFailureInOrder) {
    AddRecord(DocumentType::WebPage, "Other", "http://o");
    auto d = Open(PropertiesMode::Add);
    QWidget* w = d.get();
    Click(w, "methodCount");
    Click(w, "accountCheck");
    EXPECT_EQ(ApplyMessage(w), "Please enter the string for count.");
    Type(w, "countEdit", "x");
    EXPECT_EQ(ApplyMessage(w), "Please enter the username.");
    Type(w, "userNameEdit", "user");
    EXPECT_EQ(ApplyMessage(w), "Please enter the password.");
    Type(w, "passwordEdit", std::string(128, 'p'));
    EXPECT_EQ(ApplyMessage(w), "The password can hold at most 127 characters.");
    Type(w, "passwordEdit", "pw");
    EXPECT_EQ(ApplyMessage(w), "Please enter the URL or server address of the document.");
    Type(w, "locationEdit", "ftp://example.com/a?x=S://");
    EXPECT_EQ(ApplyMessage(w), "Please enter the document name.");
    Type(w, "nameEdit", "a:b");
    EXPECT_EQ(ApplyMessage(w),
              "Invalid document name. Please do not use the following characters:\n\n\\ / : * ? "
              "\" < > |");
    Type(w, "nameEdit", "OTHER");
    EXPECT_EQ(ApplyMessage(w), "Same document name already exist. Please use another name.");
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(Text(w, "nameEdit"), "OTHER");  // the input stays as it was
    Type(w, "nameEdit", "Fresh");
    EXPECT_EQ(ApplyMessage(w), "applied");
    EXPECT_EQ(d->result(), 1);
    const DocumentRecord& r = d->stagedRecord();
    EXPECT_EQ(FieldText(r.location), "https://example.com/a?x=S://");
    EXPECT_EQ(FieldText(r.name), "Fresh");
    EXPECT_EQ(r.useCount, 1);
    EXPECT_EQ(FieldText(r.countString), "x");
    EXPECT_EQ(r.useAccount, 1);
    EXPECT_EQ(FieldText(r.password), "pw");
    EXPECT_EQ(r.status, static_cast<int32_t>(DocumentStatus::Waiting));

    auto m = Open(PropertiesMode::Add);
    Click(m.get(), "methodMiddle");
    Type(m.get(), "middleStartEdit", "a");
    EXPECT_EQ(ApplyMessage(m.get()), "Please enter the string.");
    Click(m.get(), "typeFtpFile");  // the middle radio stays checked but no longer counts
    EXPECT_EQ(ApplyMessage(m.get()), "Please enter the file path.");
}

TEST_F(PropertiesDialogTest, EdgeCasesOfNamesTypesAndAccounts) {
    size_t own = AddRecord(DocumentType::WebPage, "Mine", "http://m");
    auto edit = Open(PropertiesMode::Edit, own);
    EXPECT_EQ(ApplyMessage(edit.get()), "applied");
    auto copy = Open(PropertiesMode::Copy, own);
    EXPECT_EQ(ApplyMessage(copy.get()),
              "Same document name already exist. Please use another name.");
    EXPECT_EQ(copy->result(), 0);

    // A count chosen for a web page, then "Web File": nothing of the count is stored.
    auto web = Open(PropertiesMode::Add);
    Click(web.get(), "methodCount");
    Type(web.get(), "countEdit", "x");
    Click(web.get(), "typeWebFile");
    Type(web.get(), "nameEdit", "Wf");
    Type(web.get(), "locationEdit", "ftp://host/file");
    EXPECT_EQ(ApplyMessage(web.get()), "applied");
    EXPECT_EQ(web->stagedRecord().useCount, 0);
    EXPECT_EQ(FieldText(web->stagedRecord().countString), "");
    EXPECT_EQ(FieldText(web->stagedRecord().location), "http://host/file");

    // "Account" checked, then "Local File": disabled, still checked, still asked for.
    auto local = Open(PropertiesMode::Add);
    Click(local.get(), "accountCheck");
    Click(local.get(), "typeLocalFile");
    Type(local.get(), "nameEdit", "Log");
    Type(local.get(), "locationEdit", "/var/log/syslog");
    EXPECT_EQ(ApplyMessage(local.get()), "Please enter the username.");
    local->findChild<QLineEdit*>("userNameEdit")->setText("u");
    local->findChild<QLineEdit*>("passwordEdit")->setText("p");
    EXPECT_EQ(ApplyMessage(local.get()), "applied");
    EXPECT_EQ(local->stagedRecord().useAccount, 1);
    EXPECT_EQ(FieldText(local->stagedRecord().userName), "u");
}

TEST_F(PropertiesDialogTest, ActionButtonOpensBrowsesAndRefusesBadFtpAddresses) {
    auto web = Open(PropertiesMode::Add);
    Click(web.get(), "actionButton");
    EXPECT_EQ(LastMessage(), "Please enter the URL or server address of the document.");
    Type(web.get(), "locationEdit", "HTTPS://host/page");
    Click(web.get(), "accountCheck");
    Type(web.get(), "userNameEdit", "u");
    messages_.shown.clear();
    Click(web.get(), "actionButton");
    EXPECT_EQ(LastMessage(), "Please enter the password.");
    Type(web.get(), "passwordEdit", "p");
    Click(web.get(), "actionButton");
    ASSERT_EQ(opener_.urls.size(), 1u);
    EXPECT_EQ(opener_.urls[0], "https://u:p@host/page");

    size_t log = AddRecord(DocumentType::LocalFile, "Log", "/old");
    auto local = Open(PropertiesMode::Edit, log);
    Click(local.get(), "actionButton");  // cancelled: the location stays
    EXPECT_EQ(Text(local.get(), "locationEdit"), "/old");
    files_.answer = "/var/log/chosen file";
    Click(local.get(), "actionButton");
    EXPECT_EQ(Text(local.get(), "locationEdit"), "/var/log/chosen file");
    files_.answer = std::string(512, 'f');
    Click(local.get(), "actionButton");
    EXPECT_EQ(LastMessage(), "The file path can hold at most 511 characters.");
    EXPECT_EQ(Text(local.get(), "locationEdit"), "/var/log/chosen file");
    EXPECT_EQ(files_.asked, 3);

    auto ftp = Open(PropertiesMode::Add);
    Click(ftp.get(), "typeFtpFile");
    for (const char* bad : {"ftp://hostonly", "/file.zip", "host\n/f"}) {
        Type(ftp.get(), "locationEdit", bad);
        messages_.shown.clear();
        Click(ftp.get(), "actionButton");
        EXPECT_EQ(LastMessage(), "Invalid FTP address. Please check again.") << bad;
        EXPECT_TRUE(Find<QPushButton>(ftp.get(), "actionButton")->isEnabled());
        EXPECT_FALSE(ftp->ftpTestRunning());
    }
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
