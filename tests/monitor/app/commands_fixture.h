#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "monitor/app/document_commands.h"
#include "shell_fixture.h"

namespace wardlet::test {

inline std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

inline DocumentRecord Staged(DocumentType type, const std::string& name,
                             const std::string& location) {
    DocumentRecord record{};
    record.type = static_cast<int32_t>(type);
    SetFieldText(record.name, name);
    SetFieldText(record.location, location);
    record.status = static_cast<int32_t>(DocumentStatus::Waiting);
    return record;
}

// The commands over the shell of the tests, with the dialogs answered by the test.
class CommandsTest : public ShellTest {
protected:
    void Start() {
        StartShell();
        commands_ = &session_->commands();
    }
    size_t RowOf(const std::string& name) { return *rows_->FindRowOfRecord(IndexOf(name)); }
    void Select(const std::vector<std::string>& names) {
        rows_->selected.clear();
        for (const auto& name : names)
            rows_->selected.insert(RowOf(name));
    }
    bool Exists(const std::string& file) { return std::filesystem::exists(data_ / file); }
    void WaitIdle() {
        ASSERT_TRUE(ui_.PumpUntil([&] { return doc_->ChecksIdle(); }));
        doc_->FinishPendingWrites();
    }

    DocumentCommands* commands_ = nullptr;
};

}  // namespace wardlet::test
