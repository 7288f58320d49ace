#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/app/document_commands.h"

namespace wardlet::test {

// The commands as the shell reaches them: every command it runs, in order.
class RecordingCommands : public CommandRunner {
public:
    void Run(CommandId id) override { run.push_back(id); }
    std::vector<CommandId> run;
};

// The commands' dialogs, answered by the test; every call is logged.
class FakeCommandDialogs : public CommandDialogs {
public:
    std::optional<StagedDocument> RunProperties(PropertiesMode mode, size_t slot) override {
        log.push_back("properties " + std::to_string(static_cast<int>(mode)) + " " +
                      (slot == DocumentTable::kNoSlot ? std::string("-") : std::to_string(slot)));
        if (staged.empty()) return std::nullopt;
        DocumentRecord record = staged.front();
        staged.pop_front();
        return StagedDocument{record, std::nullopt};
    }
    bool RunDataView(const std::filesystem::path& file) override {
        log.push_back("data " + file.filename().string());
        return std::filesystem::exists(file);
    }
    void RunCountView(size_t slot) override { log.push_back("count " + std::to_string(slot)); }
    void RunChanges(size_t slot) override { log.push_back("changes " + std::to_string(slot)); }
    std::optional<std::filesystem::path> ChooseSaveAsPath(
        const std::filesystem::path& folder) override {
        folders.push_back(folder);
        if (saveAs.empty()) return std::nullopt;
        auto path = saveAs.front();
        saveAs.pop_front();
        return path;
    }
    void RunAbout() override { log.push_back("about"); }
    bool RunOptions(MonitorOptions& options) override {
        log.push_back("options");
        return options_ ? options_(options) : false;
    }
    // How the options dialog answers: edits the options and says whether it was applied.
    std::function<bool(MonitorOptions&)> options_;

    std::vector<std::string> log;
    std::deque<DocumentRecord> staged;
    std::deque<std::filesystem::path> saveAs;
    std::vector<std::filesystem::path> folders;
};

}  // namespace wardlet::test
