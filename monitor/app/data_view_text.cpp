#include "monitor/app/data_view_text.h"

#include <cstdio>

#include "common/fd_io.h"

namespace wardlet {

DataViewText FormatDataView(std::string_view bytes) {
    if (bytes.size() > kDataViewBytes) bytes = bytes.substr(0, kDataViewBytes);
    DataViewText text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char group[4];
        snprintf(group, sizeof group, "%02X ", static_cast<unsigned char>(bytes[i]));
        text.hex += group;
        if ((i + 1) % 6 == 0) text.hex += '\n';
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\0') continue;
        // CR LF is one line break; a lone CR breaks the line too.
        if (c == '\r') {
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            c = '\n';
        }
        text.characters += c;
    }
    return text;
}

std::optional<DataViewText> LoadDataView(const std::filesystem::path& file) {
    UniqueFd in = OpenDataFile(file, DataFileMode::Read);
    if (!in.valid()) return std::nullopt;
    std::string bytes(kDataViewBytes, '\0');
    ssize_t n = ReadFull(in.get(), bytes.data(), bytes.size());
    bytes.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return FormatDataView(bytes);
}

}  // namespace wardlet
