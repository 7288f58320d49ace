// The change view on the offscreen platform: versions, colours, the source toggle, Save As, Esc.
#include "monitor/dialogs/change_view_dialog.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <cstdio>

#include "common/little_endian.h"
#include "dialog_test_support.h"
#include "file_bytes.h"
#include "monitor/app/change_view_text.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/version_history.h"
#include "scripted_desktop.h"
#include "temp_home.h"
#include "tests/monitor/changes/versions_fixture.h"

namespace wardlet::test {
namespace {

// The character format at the first occurrence of `text` in the pane.
QTextCharFormat FormatAt(QTextEdit* pane, const QString& text) {
    QTextCursor found = pane->document()->find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor at(pane->document());
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

struct ChangeViewDialogTest : VersionsFixture {
    ChangeViewDialogTest() : VersionsFixture("Prices") {}
    ScriptedMessageBoxes boxes;
    TempDir saveFolder;
};

TEST_F(ChangeViewDialogTest, ShowsTheNewestChangeInColourAndTogglesToTheSource) {
    Store("<p>tea 3</p>\n<p>milk 2</p>\n");
    Store("<p>tea 4</p>\n<p>milk 2</p>\n<p>bread 5</p>\n");
    ChangeViewDialog dialog("Prices", ChangeView(store, record), boxes, saveFolder.path());
    EXPECT_EQ(dialog.windowTitle(), "Changes - Prices");
    auto* versions = Find<QListWidget>(&dialog, "versions");
    auto* pane = Find<QTextEdit>(&dialog, "changeText");
    auto* notice = Find<QLabel>(&dialog, "notice");
    ASSERT_EQ(versions->count(), 2);
    EXPECT_EQ(versions->currentRow(), 0) << "the newest by default";
    EXPECT_TRUE(versions->item(0)->text().contains("(stored copy)"));
    EXPECT_TRUE(pane->isReadOnly());
    EXPECT_TRUE(QFontInfo(pane->font()).fixedPitch());
    EXPECT_TRUE(notice->text().startsWith("+2 -1 lines since"));
    QString shown = pane->toPlainText();
    EXPECT_TRUE(shown.contains("- tea 3")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("+ tea 4"));
    EXPECT_TRUE(shown.contains("+ bread 5"));

    QTextCharFormat removed = FormatAt(pane, "- tea 3");
    EXPECT_TRUE(removed.fontStrikeOut());
    EXPECT_EQ(removed.foreground().color(), QColor(QRgb(LookOf(RunStyle::Removed).color)));
    QTextCharFormat added = FormatAt(pane, "+ bread 5");
    EXPECT_FALSE(added.fontStrikeOut());
    EXPECT_EQ(added.foreground().color(), QColor(QRgb(LookOf(RunStyle::Added).color)));
    QTextCharFormat word = FormatAt(pane, "4");
    EXPECT_EQ(word.background().color(), QColor(QRgb(LookOf(RunStyle::AddedWord).background)));
    EXPECT_FALSE(FormatAt(pane, "milk").fontStrikeOut());

    auto* source = Find<QCheckBox>(&dialog, "sourceToggle");
    source->click();
    EXPECT_TRUE(pane->toPlainText().contains("+ <p>bread 5</p>"));
    source->click();
    EXPECT_FALSE(pane->toPlainText().contains("<p>"));

    // The older version: no earlier one kept, its text shown whole.
    versions->setCurrentRow(1);
    EXPECT_EQ(notice->text().toStdString(), kNoEarlierVersion);
    EXPECT_EQ(pane->toPlainText(), "tea 3\nmilk 2");
}

TEST_F(ChangeViewDialogTest, AFilteredDocumentShowsItsPortionAndTheWholePageOnAToggle) {
    ChangeViewDialog plain("Prices", ChangeView(store, record), boxes, saveFolder.path());
    EXPECT_TRUE(Find<QCheckBox>(&plain, "wholePageToggle")->isHidden());

    DocumentFilters filters;
    filters.textOnly = true;
    ASSERT_TRUE(SaveDocumentFilters(store.FiltersOf("Prices"), filters));
    Store("tea 3\n");
    Store("tea 4\n");
    WriteBytes(store.HistoryOf("Prices") / kUnfilteredCopyFile, "<p>12:00</p><p>tea 4</p>");
    ChangeViewDialog dialog("Prices", ChangeView(store, record), boxes, saveFolder.path());
    auto* pane = Find<QTextEdit>(&dialog, "changeText");
    auto* whole = Find<QCheckBox>(&dialog, "wholePageToggle");
    EXPECT_FALSE(whole->isHidden());
    EXPECT_FALSE(pane->toPlainText().contains("12:00")) << "the compared portion by default";
    EXPECT_TRUE(pane->toPlainText().contains("+ tea 4"));
    whole->click();
    EXPECT_EQ(Find<QLabel>(&dialog, "notice")->text().toStdString(), kWholePageShown);
    EXPECT_EQ(pane->toPlainText().toStdString(), "12:00\ntea 4");
    EXPECT_FALSE(Find<QPushButton>(&dialog, "saveAsButton")->isEnabled());
    whole->click();
    EXPECT_TRUE(pane->toPlainText().contains("+ tea 4"));
}

TEST_F(ChangeViewDialogTest, SaveAsCopiesTheChosenVersionAndEscapeCloses) {
    Store("first copy");
    Store("second copy");
    bool timedOut = false;
    bool chose = false, clicked = false;
    std::filesystem::path target = saveFolder.path() / "saved.txt";
    WatchModal(
        [&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                if (chose) return false;
                EXPECT_EQ(dialog->directory().absolutePath().toStdString(),
                          saveFolder.path().string());
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText("saved.txt");
                chose = true;
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                return false;
            }
            if (!clicked) {
                auto* view = qobject_cast<ChangeViewDialog*>(modal);
                if (!view) return false;
                clicked = true;
                Find<QListWidget>(view, "versions")->setCurrentRow(1);
                // Queued: the file dialog is a modal of its own, answered on a later tick.
                QMetaObject::invokeMethod(Find<QPushButton>(view, "saveAsButton"), "click",
                                          Qt::QueuedConnection);
                return false;
            }
            if (chose && qobject_cast<ChangeViewDialog*>(modal) &&
                std::filesystem::exists(target)) {
                QTest::keyClick(modal, Qt::Key_Escape);
                return true;
            }
            return false;
        },
        &timedOut);
    RunChangeView(nullptr, "Prices", ChangeView(store, record), boxes, saveFolder.path());
    EXPECT_FALSE(timedOut) << "Esc closes the view";
    EXPECT_EQ(ReadBytes(target), "first copy");
    EXPECT_TRUE(boxes.shown.empty());

    // The version went away while the view was open (a check dropped it): the copy fails, the
    // message names the target, and nothing is left there.
    ChangeView view(store, record);
    std::filesystem::remove(view.versions()[1].file);
    std::filesystem::path failed = saveFolder.path() / "x.txt";
    bool accepted = false;
    clicked = false;
    WatchModal(
        [&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                if (accepted) return false;
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText("x.txt");
                accepted = true;
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                return false;
            }
            auto* changes = qobject_cast<ChangeViewDialog*>(modal);
            if (!changes) return false;
            if (!clicked) {
                clicked = true;
                Find<QListWidget>(changes, "versions")->setCurrentRow(1);
                QMetaObject::invokeMethod(Find<QPushButton>(changes, "saveAsButton"), "click",
                                          Qt::QueuedConnection);
                return false;
            }
            if (boxes.shown.empty()) return false;
            Find<QPushButton>(changes, "closeButton")->click();
            return true;
        },
        &timedOut);
    RunChangeView(nullptr, "Prices", std::move(view), boxes, saveFolder.path());
    EXPECT_FALSE(timedOut);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("x.txt"), std::string::npos);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Stop);
    EXPECT_FALSE(std::filesystem::exists(failed));
}

TEST_F(ChangeViewDialogTest, ADocumentWithoutCopiesSaysSoAndCannotBeSaved) {
    ChangeViewDialog dialog("Prices", ChangeView(store, record), boxes, saveFolder.path());
    EXPECT_EQ(Find<QListWidget>(&dialog, "versions")->count(), 0);
    EXPECT_EQ(Find<QLabel>(&dialog, "notice")->text().toStdString(), kNoStoredCopy);
    EXPECT_FALSE(Find<QPushButton>(&dialog, "saveAsButton")->isEnabled());
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
