#include "monitor/app/list_rows.h"

#include <utility>

#include "common/little_endian.h"

namespace wardlet {
namespace {

void QuickSort(std::vector<std::string>& texts, std::vector<size_t>& order, size_t low, size_t high,
               bool ascending) {
    if (low >= high) return;
    auto before = [&](const std::string& a, const std::string& b) {
        return ascending ? a < b : b < a;
    };
    // Signed bounds: the right index may step below the range while the two meet.
    auto lo = static_cast<ptrdiff_t>(low);
    auto hi = static_cast<ptrdiff_t>(high);
    const std::string pivot = texts[(low + high) / 2];
    while (lo <= hi) {
        while (lo < static_cast<ptrdiff_t>(high) && before(texts[lo], pivot))
            ++lo;
        while (hi > static_cast<ptrdiff_t>(low) && before(pivot, texts[hi]))
            --hi;
        if (lo <= hi) {
            if (texts[lo] != texts[hi]) {
                std::swap(texts[lo], texts[hi]);
                std::swap(order[lo], order[hi]);
            }
            ++lo;
            --hi;
        }
    }
    if (static_cast<ptrdiff_t>(low) < hi) QuickSort(texts, order, low, hi, ascending);
    if (lo < static_cast<ptrdiff_t>(high)) QuickSort(texts, order, lo, high, ascending);
}

}  // namespace

StatusImage ImageOfStatus(int32_t status) {
    switch (static_cast<DocumentStatus>(status)) {
        case DocumentStatus::Retrieving:
        case DocumentStatus::Waiting:
            return StatusImage::Yellow;
        case DocumentStatus::Changed:
            return StatusImage::Green;
        case DocumentStatus::Unavailable:
            return StatusImage::Red;
        default:
            return StatusImage::White;
    }
}

RowTexts MakeRowTexts(const DocumentRecord& record) {
    RowTexts row;
    row.columns[0] = FieldText(record.name);
    row.columns[1] = TypeText(record.type);
    row.columns[2] = StatusText(record.status);
    row.columns[3] = LastCheckText(record);
    row.image = ImageOfStatus(record.status);
    return row;
}

std::vector<size_t> SortedRowOrder(std::vector<std::string> texts, bool ascending) {
    std::vector<size_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (!texts.empty()) QuickSort(texts, order, 0, texts.size() - 1, ascending);
    return order;
}

}  // namespace wardlet
