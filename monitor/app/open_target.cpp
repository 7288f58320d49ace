#include "monitor/app/open_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <system_error>

#include "common/fd_io.h"
#include "common/little_endian.h"
#include "common/temp_file.h"

namespace wardlet {

std::string WebPageAddress(const DocumentRecord& record) {
    std::string_view location = FieldText(record.location);
    bool secure = location.find("s://") != std::string_view::npos ||
                  location.find("S://") != std::string_view::npos;
    std::string address = secure ? "https://" : "http://";
    size_t scheme = location.find("://");
    std::string_view rest =
        scheme == std::string_view::npos ? location : location.substr(scheme + 3);
    if (FlagOn(record.useAccount)) {
        address += FieldText(record.userName);
        address += ':';
        address += FieldText(record.password);
        address += '@';
    }
    address += rest;
    return address;
}

std::optional<std::string> LocationFileName(std::string_view location) {
    for (size_t i = location.size(); i-- > 1;) {
        char c = location[i];
        if (c == '\r' || c == '\n') return std::nullopt;
        if (c == '\\' || c == '/') return std::string(location.substr(i + 1));
    }
    return std::nullopt;
}

namespace {

// The opened-copies folder, made when missing; false when it cannot be had or is not a real
// folder of ours (a link there is never followed).
bool EnsureOpenedCopiesFolder(const std::filesystem::path& folder) {
    if (mkdir(folder.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

}  // namespace

std::filesystem::path OpenedCopiesFolder(const std::filesystem::path& dataFolder) {
    return dataFolder / kOpenedCopiesFolder;
}

OpenTarget PrepareOpenTarget(const DocumentRecord& record,
                             const std::filesystem::path& dataFolder) {
    if (TypeOf(record) == DocumentType::WebPage)
        return {OpenTarget::Kind::Url, WebPageAddress(record), {}, {}, {}};
    auto content = dataFolder / (std::string(FieldText(record.name)) + ".content");
    if (!OpenDataFile(content, DataFileMode::Read).valid())
        return {OpenTarget::Kind::NotDownloaded, {}, {}, {}, {}};
    auto fileName = LocationFileName(FieldText(record.location));
    if (!fileName) return {OpenTarget::Kind::InvalidLocation, {}, {}, {}, {}};
    auto folder = OpenedCopiesFolder(dataFolder);
    auto temp = EnsureOpenedCopiesFolder(folder) ? CreateTempFile(folder) : std::nullopt;
    if (!temp) return {OpenTarget::Kind::NoTempName, {}, {}, {}, {}};
    std::filesystem::path target = temp->native() + "_" + *fileName;
    return {OpenTarget::Kind::File, {}, target, content, *temp};
}

CopyOutcome MakeOpenedCopy(const OpenTarget& target, const CopyProgress& progress) {
    CopyOutcome outcome = CopyToNewFile(target.file, target.source, 0600, progress);
    if (!target.reserved.empty()) unlink(target.reserved.c_str());
    return outcome;
}

size_t DeleteOpenedCopies(const std::filesystem::path& dataFolder, std::chrono::seconds age) {
    std::error_code error;
    std::filesystem::directory_iterator entries(OpenedCopiesFolder(dataFolder), error);
    if (error) return 0;
    auto now = std::filesystem::file_time_type::clock::now();
    size_t removed = 0;
    for (const auto& entry : entries) {
        // Only plain files: a link there is not one of ours to judge by its target.
        if (entry.is_symlink(error) || !entry.is_regular_file(error)) continue;
        auto changed = entry.last_write_time(error);
        if (error || now - changed < age) continue;
        if (std::filesystem::remove(entry.path(), error)) ++removed;
    }
    return removed;
}

}  // namespace wardlet
