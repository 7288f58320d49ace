// A document's filters in their side file: the file's form, and how add, copy, edit (rename)
// and delete carry it as they carry the stored copy.
#include "monitor/model/document_filters.h"

#include "store_fixture.h"

namespace wardlet {
namespace {

DocumentFilters PriceFilters() {
    DocumentFilters f;
    f.selectorKind = DocumentFilters::Selector::Css;
    f.selector = "div.price";
    f.textOnly = true;
    f.ignoreLines = {"^Updated", "[0-9]+ visitors"};
    f.trigger = "sale";
    return f;
}

using Filters = StoreFixture;

TEST_F(Filters, SavedAndLoadedWithEveryField) {
    fs::path file = FiltersFile(folder, "shop");
    ASSERT_TRUE(SaveDocumentFilters(file, PriceFilters()));
    EXPECT_EQ(ReadBytes(file),
              "{\n  \"css\": \"div.price\",\n  \"ignore\": [\n    \"^Updated\",\n    \"[0-9]+ "
              "visitors\"\n  ],\n  \"textOnly\": true,\n  \"trigger\": \"sale\",\n  "
              "\"triggerOnRemoved\": false\n}\n");
    EXPECT_EQ(FileMode(file), 0600);
    FiltersLoad load = LoadDocumentFilters(file);
    ASSERT_EQ(load.state, FiltersLoad::State::Loaded);
    EXPECT_EQ(load.filters, PriceFilters());

    // Keys of a later build are no reason to refuse the file.
    WriteBytes(file, R"({"xpath": "//h1", "later": [1, 2]})");
    load = LoadDocumentFilters(file);
    ASSERT_EQ(load.state, FiltersLoad::State::Loaded);
    EXPECT_EQ(load.filters.selectorKind, DocumentFilters::Selector::XPath);
    EXPECT_EQ(load.filters.selector, "//h1");

    // No filters, no file.
    ASSERT_TRUE(SaveDocumentFilters(file, {}));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(LoadDocumentFilters(file).state, FiltersLoad::State::None);
}

TEST_F(Filters, ADamagedFileIsToldApart) {
    fs::path file = FiltersFile(folder, "shop");
    fs::create_directories(file.parent_path());
    for (std::string bytes : {"{\"css\": \"div", "[1]", "{\"ignore\": \"x\"}", "{\"textOnly\": 1}",
                              "{\"css\": \"a\", \"xpath\": \"//a\"}", "{\"ignore\": [1]}"}) {
        WriteBytes(file, bytes);
        FiltersLoad load = LoadDocumentFilters(file);
        EXPECT_EQ(load.state, FiltersLoad::State::Damaged) << bytes;
        EXPECT_FALSE(load.problem.empty());
    }
}

TEST_F(Filters, CarriedByAddCopyRenameAndDelete) {
    DocumentFilters f = PriceFilters();
    // A stale file of the name goes when a document without filters is added.
    ASSERT_TRUE(SaveDocumentFilters(store.FiltersOf("plain"), f));
    size_t plain = store.AddDocument(Doc("plain"));
    EXPECT_FALSE(fs::exists(store.FiltersOf("plain")));

    size_t shop = store.AddDocument(Doc("shop"), &f);
    ASSERT_NE(shop, DocumentTable::kNoSlot);
    EXPECT_EQ(LoadDocumentFilters(store.FiltersOf("shop")).filters, f);
    // Copy: the dialog hands the source's filters to the new document.
    size_t copy = store.AddDocument(Doc("shop copy"), &f);
    EXPECT_EQ(LoadDocumentFilters(store.FiltersOf("shop copy")).filters, f);

    // A rename carries the file with the stored copy.
    WriteBytes(store.ContentFile("shop"), "<div class=price>10</div>\n");
    DocumentRecord renamed = table.Get(shop);
    SetFieldText(renamed.name, "store");
    ASSERT_EQ(store.EditDocument(shop, renamed), EditOutcome::Saved);
    EXPECT_FALSE(fs::exists(store.FiltersOf("shop")));
    EXPECT_EQ(LoadDocumentFilters(store.FiltersOf("store")).filters, f);
    EXPECT_EQ(ReadBytes(store.ContentFile("store")), "<div class=price>10</div>\n");

    // The same filters given again keep the stored copy; other filters start afresh.
    ASSERT_EQ(store.EditDocument(shop, table.Get(shop), &f), EditOutcome::Saved);
    EXPECT_TRUE(fs::exists(store.ContentFile("store")));
    DocumentFilters other = f;
    other.selector = "span.price";
    ASSERT_EQ(store.EditDocument(shop, table.Get(shop), &other), EditOutcome::Saved);
    EXPECT_FALSE(fs::exists(store.ContentFile("store")));
    EXPECT_EQ(LoadDocumentFilters(store.FiltersOf("store")).filters, other);
    // Filters taken away: the file goes.
    DocumentFilters none;
    ASSERT_EQ(store.EditDocument(copy, table.Get(copy), &none), EditOutcome::Saved);
    EXPECT_FALSE(fs::exists(store.FiltersOf("shop copy")));

    store.DeleteDocuments({"store", "plain"});
    EXPECT_FALSE(fs::exists(store.FiltersOf("store")));
    EXPECT_TRUE(Entries(folder / kFiltersFolderName).empty());
    (void)plain;
}

TEST_F(Filters, DocumentsWithoutFiltersMakeNoFilterFiles) {
    size_t a = store.AddDocument(Doc("a"));
    DocumentRecord renamed = table.Get(a);
    SetFieldText(renamed.name, "b");
    ASSERT_EQ(store.EditDocument(a, renamed), EditOutcome::Saved);
    store.DeleteDocuments({"b"});
    EXPECT_FALSE(fs::exists(folder / kFiltersFolderName));
}

}  // namespace
}  // namespace wardlet
