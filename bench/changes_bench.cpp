// The text and the diff of a 10 MB page whose new copy differs in a few places: what the change
// view, wardctl diff and the mail pay for one changed document.
#include <benchmark/benchmark.h>

#include <string>

#include "monitor/changes/document_text.h"
#include "monitor/changes/text_diff.h"

namespace {

using namespace wardlet;

// About `bytes` of HTML: priced rows in nested blocks, with a script and an entity a row.
std::string MakePage(size_t bytes, int variant) {
    std::string page =
        "<!DOCTYPE html><html><head><title>Prices</title>"
        "<script>var x = 1;</script></head><body><div class=\"list\">\n";
    for (size_t row = 0; page.size() < bytes; ++row) {
        int price = static_cast<int>(row % 997);
        if (variant && row % 20000 == 7) price += variant;
        page += "<div class=\"row\"><p>Item " + std::to_string(row) + " &amp; friends</p><span>" +
                std::to_string(price) + " EUR</span></div>\n";
    }
    return page + "</div></body></html>\n";
}

void TextAndDiffOfATenMegabytePage(benchmark::State& state) {
    const std::string before = MakePage(10u << 20, 0);
    const std::string after = MakePage(10u << 20, 1);
    size_t hunks = 0;
    for (auto _ : state) {
        auto [a, b] = TextsOfCopies(before, after, TextForm::Page, "");
        TextDiff diff = DiffTexts(a.text, b.text);
        hunks = diff.hunks.size();
        benchmark::DoNotOptimize(diff);
    }
    state.counters["hunks"] = static_cast<double>(hunks);
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * (before.size() + after.size())));
}
BENCHMARK(TextAndDiffOfATenMegabytePage)->Unit(benchmark::kMillisecond)->UseRealTime();

void TextOfATenMegabytePage(benchmark::State& state) {
    const std::string page = MakePage(10u << 20, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(TextOfCopy(page, TextForm::Page, ""));
}
BENCHMARK(TextOfATenMegabytePage)->Unit(benchmark::kMillisecond);

void DiffOfTwoTenMegabyteTexts(benchmark::State& state) {
    const std::string before = TextOfCopy(MakePage(10u << 20, 0), TextForm::Page, "").text;
    const std::string after = TextOfCopy(MakePage(10u << 20, 1), TextForm::Page, "").text;
    for (auto _ : state)
        benchmark::DoNotOptimize(DiffTexts(before, after));
}
BENCHMARK(DiffOfTwoTenMegabyteTexts)->Unit(benchmark::kMillisecond);

// Both texts, side by side on two threads as the view reads them.
void TextsOfTwoTenMegabyteCopies(benchmark::State& state) {
    const std::string before = MakePage(10u << 20, 0);
    const std::string after = MakePage(10u << 20, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(TextsOfCopies(before, after, TextForm::Page, ""));
}
BENCHMARK(TextsOfTwoTenMegabyteCopies)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
