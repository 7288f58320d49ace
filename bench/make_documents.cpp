// Writes COUNT web-page documents "page 0".."page COUNT-1" located at URL_PREFIX0..., status
// Checked, into a data folder, with options for a 5-thread pass and nothing else switched on;
// the records go in one batch (one flush), as the exit save writes them.
// Usage: make_documents DATA_FOLDER URL_PREFIX COUNT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/little_endian.h"
#include "monitor/app/options.h"
#include "monitor/model/document_store.h"

using namespace wardlet;

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: make_documents DATA_FOLDER URL_PREFIX COUNT\n");
        return 64;
    }
    const std::filesystem::path data = argv[1];
    const std::string prefix = argv[2];
    const long count = std::strtol(argv[3], nullptr, 10);
    std::filesystem::create_directories(data);
    DocumentTable table;
    DocumentStore store(data, table);
    for (long i = 0; i < count; ++i) {
        DocumentRecord record{};
        record.type = static_cast<int32_t>(DocumentType::WebPage);
        SetFieldText(record.name, "page " + std::to_string(i));
        SetFieldText(record.location, prefix + std::to_string(i));
        record.status = static_cast<int32_t>(DocumentStatus::Checked);
        table.Add(record);
    }
    store.SaveAllDocuments();
    MonitorOptions options = DefaultOptions();
    options.startupCheck = options.periodicCheck = 0;
    options.soundOnChange = options.soundOnFailure = 0;
    options.selectOnChange = options.selectOnFailure = 0;
    options.sendEmail = 0;
    options.threadCount = 5;
    if (!SaveOptions(data, options)) {
        fprintf(stderr, "make_documents: cannot write the options\n");
        return 74;
    }
    return 0;
}
