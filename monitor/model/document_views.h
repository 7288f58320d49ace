#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace wardlet {

// What the document store and the check engine ask of the list of documents: the rows of the
// document object (DocumentRowList), which the window shows and wardctl and the tests use.
// Rows are tied to records by the record's name.
class DocumentListSink {
public:
    virtual ~DocumentListSink() = default;
    // Adds a row for the record in `index` (name, type, status, last check).
    virtual void AddRow(size_t index) = 0;
    // Redraws the row that shows the record in `index`, if there is one.
    virtual void RefreshRow(size_t index) = 0;
    // After an edit: the row that showed `oldName` now shows the record in `index` (whose name
    // may differ).
    virtual void RefreshEditedRow(size_t index, std::string_view oldName) = 0;
    // Removes the row that shows the record in `index`, if there is one.
    virtual void RemoveRow(size_t index) = 0;
    // The row showing the record in `index`, by exact name; nullopt when none does.
    virtual std::optional<size_t> FindRowOfRecord(size_t index) = 0;
};

// Starts a pass of the check threads over the table (after Add, Copy and Edit).
class CheckStarter {
public:
    virtual ~CheckStarter() = default;
    virtual void StartCheckThreads() = 0;
};

}  // namespace wardlet
