#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/desktop_services.h"

namespace wardlet::test {

// Message boxes that a test answers: each shown box is recorded, and answered with the next
// scripted answer (Ok or Yes by default), so no test ever waits for a modal window.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    void SetNextAnswer(MessageAnswer answer) { answers_.push_back(answer); }
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override {
        shown.push_back({std::string(text), icon, buttons});
        if (onShow) onShow();
        if (!answers_.empty()) {
            MessageAnswer answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : shown)
            texts.push_back(box.text);
        return texts;
    }

    std::vector<Shown> shown;
    // Runs while a box is "open", for tests of what happens meanwhile.
    std::function<void()> onShow;

private:
    std::deque<MessageAnswer> answers_;
};

// Records what would have been opened.
class RecordingOpener : public DocumentOpener {
public:
    void OpenUrl(std::string_view url) override {
        std::lock_guard guard(lock_);
        urls.emplace_back(url);
    }
    void OpenFile(const std::filesystem::path& file) override {
        std::lock_guard guard(lock_);
        files.push_back(file);
    }
    std::vector<std::string> urls;
    std::vector<std::filesystem::path> files;

private:
    std::mutex lock_;
};

// Records each start; `succeed` decides the outcome.
class RecordingLauncher : public ProcessLauncher {
public:
    struct Start {
        std::filesystem::path program;
        std::vector<std::string> arguments;
    };
    bool StartDetached(const std::filesystem::path& program,
                       const std::vector<std::string>& arguments) override {
        starts.push_back({program, arguments});
        return succeed;
    }
    bool succeed = true;
    std::vector<Start> starts;
};

}  // namespace wardlet::test
