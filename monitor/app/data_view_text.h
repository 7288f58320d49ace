#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace wardlet {

// The two panes of the data view for the first bytes of a stored file.
struct DataViewText {
    std::string hex;         // "%02X " per byte, a line break after every sixth
    std::string characters;  // the bytes themselves, zero bytes left out, line breaks as "\n"
};

inline constexpr size_t kDataViewBytes = 2052;

DataViewText FormatDataView(std::string_view bytes);
// nullopt when the file cannot be opened.
std::optional<DataViewText> LoadDataView(const std::filesystem::path& file);

}  // namespace wardlet
