#include "monitor/engine/changed_lines.h"

#include <sys/stat.h>

#include "common/fd_io.h"
#include "monitor/changes/document_text.h"
#include "monitor/changes/text_diff.h"
#include "monitor/model/version_history.h"

namespace wardlet {
namespace {

// A notification is no place for the diff of huge files: they are left to the change view.
constexpr off_t kLargestNotifiedCopy = off_t{32} << 20;

bool SmallEnough(const std::filesystem::path& file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_size <= kLargestNotifiedCopy;
}

}  // namespace

std::string MailChangedLines(const DocumentRecord& record, const std::filesystem::path& storedCopy,
                             const NewBytes& fresh, const std::filesystem::path& historyFolder) {
    return OutlineChange(record, storedCopy, fresh, historyFolder, true).mailLines;
}

ChangeOutline OutlineChange(const DocumentRecord& record, const std::filesystem::path& storedCopy,
                            const NewBytes& fresh, const std::filesystem::path& historyFolder,
                            bool mailLines) {
    if (fresh.file.empty() || !SmallEnough(storedCopy) || !SmallEnough(fresh.file)) return {};
    std::optional<std::string> before = ReadDataFile(storedCopy);
    std::optional<std::string> after =
        fresh.userFile ? ReadSystemFile(fresh.file) : ReadDataFile(fresh.file);
    if (!before || !after) return {};
    std::string charset = ReadDataFile(historyFolder / kDeclaredCharsetFile).value_or("");
    bool page = TypeOf(record) == DocumentType::WebPage && !fresh.plainText;
    auto [oldText, newText] =
        TextsOfCopies(*before, *after, page ? TextForm::Page : TextForm::File, charset);
    if (oldText.binary || newText.binary) return {};
    TextDiff diff = DiffTexts(oldText.text, newText.text);
    ChangeOutline outline;
    outline.counts = ChangedLineCount{diff.added, diff.removed};
    if (mailLines) outline.mailLines = FirstChangedLines(diff);
    return outline;
}

}  // namespace wardlet
