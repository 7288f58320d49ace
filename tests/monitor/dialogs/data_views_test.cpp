// The data view and count view on the offscreen platform.
#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "common/little_endian.h"
#include "dialog_test_support.h"
#include "file_bytes.h"
#include "monitor/dialogs/data_views.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

TEST(DataViews, PanesShowTheFileStartInAFixedFont) {
    TempDir dir;
    WriteBytes(dir.path() / "a.content", std::string("ab\r\ncd\0e\r\nf", 11));
    auto text = LoadDataView(dir.path() / "a.content");
    ASSERT_TRUE(text);
    DataViewDialog dialog(*text);
    EXPECT_EQ(dialog.windowTitle(), "Data view");
    auto* hex = Find<QPlainTextEdit>(&dialog, "hexPane");
    auto* characters = Find<QPlainTextEdit>(&dialog, "characterPane");
    EXPECT_EQ(hex->toPlainText(), "61 62 0D 0A 63 64 \n00 65 0D 0A 66 ");
    EXPECT_EQ(characters->toPlainText(), "ab\ncde\nf");
    EXPECT_TRUE(hex->isReadOnly());
    EXPECT_TRUE(characters->isReadOnly());
    EXPECT_TRUE(QFontInfo(hex->font()).fixedPitch());
    EXPECT_EQ(characters->textCursor().position(), 0);
    EXPECT_NE(hex->verticalScrollBar(), characters->verticalScrollBar());
}

TEST(DataViews, MissingFileShowsNothingAndCloseOrEscapeGiveOne) {
    TempDir dir;
    EXPECT_EQ(DataView(nullptr, dir.path() / "missing.content"), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A link planted in the data folder is not read through: no window, as for a missing file.
    WriteBytes(dir.path() / "secret", "a private file elsewhere");
    std::filesystem::create_symlink(dir.path() / "secret", dir.path() / "planted.content");
    EXPECT_FALSE(LoadDataView(dir.path() / "planted.content"));
    EXPECT_EQ(DataView(nullptr, dir.path() / "planted.content"), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    WriteBytes(dir.path() / "empty.content", "");
    bool timedOut = false;
    std::string shownHex = "unset";
    WatchModal(
        [&](QWidget* modal) {
            shownHex = Find<QPlainTextEdit>(modal, "hexPane")->toPlainText().toStdString();
            QTest::keyClick(modal, Qt::Key_Escape);
            return true;
        },
        &timedOut);
    EXPECT_EQ(DataView(nullptr, dir.path() / "empty.content"), 1);
    EXPECT_EQ(shownHex, "");

    DocumentTable table;
    DocumentRecord r{};
    SetFieldText(r.name, "Counted");
    SetFieldText(r.countString, "needle");
    r.lastCount = -1;
    size_t slot = table.Add(r);
    std::string counted, count;
    WatchModal(
        [&](QWidget* modal) {
            EXPECT_EQ(modal->windowTitle(), "Count View");
            counted = Find<QLineEdit>(modal, "countStringEdit")->text().toStdString();
            count = Find<QLabel>(modal, "countValue")->text().toStdString();
            Find<QPushButton>(modal, "closeButton")->click();
            return true;
        },
        &timedOut);
    EXPECT_EQ(CountView(nullptr, table, slot), 1);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(counted, "needle");
    EXPECT_EQ(count, "4294967295");
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
