// The properties dialog's "Filters" tab on the offscreen platform: its fields staged at Apply,
// "Try" fetching the page off the window's thread from the tests' HTTP peer, a selector that
// matches nothing refused at Apply, and the filters of the document shown again.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>

#include "engine_fixture.h"
#include "properties_dialog_fixture.h"

namespace wardlet::test {
namespace {

constexpr char kPage[] =
    "<html><body><p id=\"clock\">12:00:01</p><ul class=\"news\"><li>Updated today</li>"
    "<li>Kettles are back</li></ul></body></html>";

class PropertiesFiltersTest : public PropertiesDialogTest {
protected:
    HttpPeer peer_;

    std::unique_ptr<DocumentPropertiesDialog> OpenWithFilters(PropertiesMode mode, size_t slot,
                                                              FiltersLoad filters) {
        PropertiesContext context{table_, data_, messages_, opener_, files_};
        context.limits.connectTimeoutSeconds = 5;
        context.limits.lowSpeedSeconds = 5;
        context.filters = std::move(filters);
        auto dialog = std::make_unique<DocumentPropertiesDialog>(context, mode, slot);
        dialog->show();
        return dialog;
    }
    static void Fill(QWidget* dialog, const std::string& selector, bool textOnly,
                     const std::string& ignore) {
        Type(dialog, "selectorEdit", selector);
        Find<QCheckBox>(dialog, "textOnlyCheck")->setChecked(textOnly);
        Find<QPlainTextEdit>(dialog, "ignoreEdit")->setPlainText(QString::fromStdString(ignore));
    }
    // The lines "Try" shows, the greyed ones marked "~ ".
    static std::vector<std::string> Shown(QWidget* dialog) {
        std::vector<std::string> lines;
        QTextDocument* text = Find<QTextEdit>(dialog, "trialText")->document();
        for (QTextBlock block = text->begin(); block.isValid(); block = block.next()) {
            if (block.text().isEmpty()) continue;
            QColor color = block.begin().fragment().charFormat().foreground().color();
            bool grey = color == QColor(0x90, 0x90, 0x90);
            lines.push_back((grey ? "~ " : "") + block.text().toStdString());
        }
        return lines;
    }
};

TEST_F(PropertiesFiltersTest, TryShowsWhatWouldBeComparedWithIgnoredLinesGreyed) {
    peer_.SetPage("news", kPage);
    auto dialog = Open(PropertiesMode::Add);
    Type(dialog.get(), "nameEdit", "News");
    Type(dialog.get(), "locationEdit", peer_.Url("news"));
    Find<QTabWidget>(dialog.get(), "tabs")->setCurrentIndex(1);
    Fill(dialog.get(), "ul.news", true, "^Updated ");
    Click(dialog.get(), "tryButton");
    // The fetch runs off the window's thread: the dialog keeps answering meanwhile.
    EXPECT_TRUE(dialog->trialRunning() || !Shown(dialog.get()).empty());
    ASSERT_TRUE(WaitUntil([&] { return !dialog->trialRunning() && !Shown(dialog.get()).empty(); }));
    EXPECT_EQ(Shown(dialog.get()),
              (std::vector<std::string>{"~ Updated today", "Kettles are back"}));
    EXPECT_EQ(Find<QLabel>(dialog.get(), "trialHeading")->text().toStdString(),
              "What a check compares now (1 line; 1 ignored, in grey):");
    EXPECT_EQ(peer_.Hits("news"), 1u);
    if (const char* shot = getenv("WARDLET_SCREENSHOT")) dialog->grab().save(shot);

    // Apply looks at the live page once more, then stages the filters with the record.
    Click(dialog.get(), "applyButton");
    ASSERT_TRUE(WaitUntil([&] { return dialog->result() == QDialog::Accepted; }));
    ASSERT_TRUE(dialog->stagedFilters());
    EXPECT_EQ(dialog->stagedFilters()->selector, "ul.news");
    EXPECT_EQ(dialog->stagedFilters()->selectorKind, DocumentFilters::Selector::Css);
    EXPECT_TRUE(dialog->stagedFilters()->textOnly);
    EXPECT_EQ(dialog->stagedFilters()->ignoreLines, std::vector<std::string>{"^Updated "});
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PropertiesFiltersTest, ApplyRefusesASelectorThatMatchesNothingOrDoesNotCompile) {
    peer_.SetPage("news", kPage);
    auto dialog = Open(PropertiesMode::Add);
    Type(dialog.get(), "nameEdit", "News");
    Type(dialog.get(), "locationEdit", peer_.Url("news"));
    Fill(dialog.get(), "li + li", false, "");
    EXPECT_EQ(ApplyMessage(dialog.get()).substr(0, 42),
              "The CSS selector \"li + li\" uses \"+\", which");
    Fill(dialog.get(), "ul.news", false, "a(b");
    EXPECT_EQ(ApplyMessage(dialog.get()), "The pattern \"a(b\" is not valid: missing ): a(b.");
    Fill(dialog.get(), "div.price", false, "");
    messages_.shown.clear();
    Click(dialog.get(), "applyButton");
    ASSERT_TRUE(WaitUntil([&] { return !messages_.shown.empty(); }));
    EXPECT_EQ(LastMessage(), "The CSS selector \"div.price\" matches nothing on the page.");
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Find<QTabWidget>(dialog.get(), "tabs")->currentIndex(), 1);
}

TEST_F(PropertiesFiltersTest, EditShowsTheFiltersAndOtherTypesGoWithout) {
    DocumentFilters filters;
    filters.selectorKind = DocumentFilters::Selector::XPath;
    filters.selector = "//li";
    filters.ignoreLines = {"^a", "b$"};
    filters.trigger = "back";
    filters.triggerOnRemoved = true;
    size_t slot = AddRecord(DocumentType::WebPage, "News", peer_.Url("news"));
    auto dialog =
        OpenWithFilters(PropertiesMode::Edit, slot, {FiltersLoad::State::Loaded, filters, ""});
    EXPECT_EQ(Find<QComboBox>(dialog.get(), "selectorKind")->currentIndex(), 1);
    EXPECT_EQ(Text(dialog.get(), "selectorEdit"), "//li");
    EXPECT_EQ(Find<QPlainTextEdit>(dialog.get(), "ignoreEdit")->toPlainText().toStdString(),
              "^a\nb$\n");
    EXPECT_TRUE(Find<QCheckBox>(dialog.get(), "triggerRemovedCheck")->isChecked());
    // Unchanged filters on the same page are not fetched again.
    EXPECT_EQ(ApplyMessage(dialog.get()), "applied");
    EXPECT_EQ(*dialog->stagedFilters(), filters);
    EXPECT_EQ(peer_.Hits("news"), 0u);

    auto local =
        OpenWithFilters(PropertiesMode::Edit, slot, {FiltersLoad::State::Loaded, filters, ""});
    Click(local.get(), "typeLocalFile");
    EXPECT_FALSE(Find<QTabWidget>(local.get(), "tabs")->isTabEnabled(1));
    Type(local.get(), "locationEdit", "/etc/hostname");
    EXPECT_EQ(ApplyMessage(local.get()), "applied");
    EXPECT_TRUE(local->stagedFilters()->empty());

    // A damaged file is said, and left alone unless new filters are typed.
    auto damaged =
        OpenWithFilters(PropertiesMode::Edit, slot,
                        {FiltersLoad::State::Damaged, {}, "the file is not a JSON object"});
    EXPECT_NE(Find<QLabel>(damaged.get(), "infoText")->text().toStdString().find("cannot be read"),
              std::string::npos);
    EXPECT_EQ(ApplyMessage(damaged.get()), "applied");
    EXPECT_FALSE(damaged->stagedFilters());
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
