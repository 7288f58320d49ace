#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/model/document_record.h"

namespace wardlet {

// The four 16-pixel status images of the list, by their position in the image list.
enum class StatusImage { White = 0, Yellow = 1, Red = 2, Green = 3 };

inline constexpr std::array<std::string_view, 4> kColumnHeadings = {"Name", "Type", "Status",
                                                                    "Last Check"};
inline constexpr std::array<int, 4> kColumnWidths = {250, 130, 150, 170};

// What one row of the list shows for a record.
struct RowTexts {
    std::array<std::string, 4> columns;  // name, type, status, last check ("?" when never)
    StatusImage image = StatusImage::White;
};

StatusImage ImageOfStatus(int32_t status);
RowTexts MakeRowTexts(const DocumentRecord& record);

// The order a heading click puts the rows in: an in-place quicksort over the column's texts,
// compared byte for byte (case-sensitive, no locale), pivot the middle row of each range, rows
// exchanged only when their texts differ. Entry i of the result is the old row that ends in row
// i. Rows with equal texts may change their order.
std::vector<size_t> SortedRowOrder(std::vector<std::string> texts, bool ascending);

// One direction for all columns, initially ascending, flipped after every sort.
class SortDirection {
public:
    // The direction of this sort; the next one goes the other way.
    bool TakeAscending() {
        bool ascending = ascending_;
        ascending_ = !ascending_;
        return ascending;
    }
    bool ascending() const { return ascending_; }

private:
    bool ascending_ = true;
};

}  // namespace wardlet
