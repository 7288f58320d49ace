// Start-up load of a data folder holding 10,000 documents: every ".data" file is read, checked,
// decoded and put into a fresh table, and one list row is added per record.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "monitor/app/document_row_list.h"
#include "monitor/model/account_scramble.h"
#include "monitor/model/document_store.h"
#include "temp_home.h"

namespace {

using namespace wardlet;
constexpr int kDocuments = 10000;

// Made once for all runs; every tenth document has an account, so decoding is measured too.
const std::filesystem::path& DataFolder() {
    static wardlet::test::TempDir dir;
    static bool filled = [] {
        for (int i = 0; i < kDocuments; ++i) {
            DocumentRecord r{};
            std::string name = "Document " + std::to_string(i);
            SetFieldText(r.name, name);
            SetFieldText(r.location, "https://example.com/pages/" + std::to_string(i));
            SetFieldText(r.lastCheck, "2026/03/07 [09:05:00]");
            r.status = static_cast<int32_t>(DocumentStatus::Checked);
            if (i % 10 == 0) {
                r.useAccount = 1;
                SetFieldText(r.userName, "user" + std::to_string(i));
                SetFieldText(r.password, "secret");
                EncodeAccount(r);
            }
            auto bytes = ToBytes(r);
            std::ofstream out(dir.path() / (name + ".data"), std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        return true;
    }();
    (void)filled;
    return dir.path();
}

void BM_LoadAllDocuments(benchmark::State& state) {
    const auto& folder = DataFolder();
    for (auto _ : state) {
        auto table = std::make_unique<DocumentTable>();
        auto list = std::make_unique<DocumentRowList>(*table);
        DocumentStore store(folder, *table);
        store.SetList(list.get());
        auto report = store.LoadAllDocuments();
        if (report.loaded != kDocuments || list->size() != kDocuments)
            state.SkipWithError("not every document was loaded");
        benchmark::DoNotOptimize(report);
        state.PauseTiming();  // the program keeps its table to the end: freeing is not start-up
        list.reset();
        table.reset();
        state.ResumeTiming();
    }
    state.counters["documents"] = kDocuments;
}
BENCHMARK(BM_LoadAllDocuments)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Every document looked up once by name in the store and once in the list, as deleting or
// checking all of them does: linear in the number of documents, not quadratic.
void BM_FindEveryDocument(benchmark::State& state) {
    DocumentTable table;
    DocumentRowList list(table);
    DocumentStore store(DataFolder(), table);
    store.SetList(&list);
    store.LoadAllDocuments();
    std::vector<std::string> names;
    for (int i = 0; i < kDocuments; ++i)
        names.push_back("Document " + std::to_string(i));
    for (auto _ : state) {
        size_t found = 0;
        for (const auto& name : names) {
            size_t index = store.FindRecordByName(name);
            if (index != DocumentTable::kNoSlot && list.FindRowOfRecord(index)) ++found;
        }
        if (found != names.size()) state.SkipWithError("a document was not found");
    }
    state.counters["documents"] = kDocuments;
}
BENCHMARK(BM_FindEveryDocument)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
