#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "monitor/model/document_store.h"
#include "monitor/model/options.h"

namespace wardlet::bench {

// Writes `count` web-page documents "page 0".. located at urlPrefix0.., status Checked, in one
// batch as the exit save writes them, and options for a 5-thread pass with no start-up or
// periodic check and no sound. With several prefixes, page i is at prefix (i mod their number)
// followed by i: the pages spread over as many servers. False when the options could not be
// written.
inline bool WritePassDocuments(const std::filesystem::path& data, size_t count,
                               const std::vector<std::string>& urlPrefixes) {
    std::filesystem::create_directories(data);
    DocumentTable table;
    DocumentStore store(data, table);
    for (size_t i = 0; i < count; ++i) {
        DocumentRecord record{};
        record.type = static_cast<int32_t>(DocumentType::WebPage);
        SetFieldText(record.name, "page " + std::to_string(i));
        SetFieldText(record.location, urlPrefixes[i % urlPrefixes.size()] + std::to_string(i));
        record.status = static_cast<int32_t>(DocumentStatus::Checked);
        table.Add(record);
    }
    store.SaveAllDocuments();
    MonitorOptions options = DefaultOptions();
    options.startupCheck = options.periodicCheck = 0;
    options.soundOnChange = options.soundOnFailure = 0;
    options.threadCount = 5;
    return SaveOptions(data, options);
}

}  // namespace wardlet::bench
