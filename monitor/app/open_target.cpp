#include "monitor/app/open_target.h"

#include <fcntl.h>
#include <unistd.h>

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

OpenTarget PrepareOpenTarget(const DocumentRecord& record,
                             const std::filesystem::path& dataFolder) {
    if (record.type == static_cast<int32_t>(DocumentType::WebPage))
        return {OpenTarget::Kind::Url, WebPageAddress(record), {}};
    auto content = dataFolder / (std::string(FieldText(record.name)) + ".content");
    {
        UniqueFd in(open(content.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.get() < 0) return {OpenTarget::Kind::NotDownloaded, {}, {}};
    }
    auto fileName = LocationFileName(FieldText(record.location));
    if (!fileName) return {OpenTarget::Kind::InvalidLocation, {}, {}};
    auto temp = CreateTempFile(dataFolder);
    if (!temp) return {OpenTarget::Kind::NoTempName, {}, {}};
    unlink(temp->c_str());
    std::filesystem::path target = temp->native() + "_" + *fileName;
    std::error_code error;
    std::filesystem::copy_file(content, target, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) return {OpenTarget::Kind::CopyFailed, {}, target};
    return {OpenTarget::Kind::File, {}, target};
}

size_t DeleteOpenedCopies(const std::filesystem::path& dataFolder, std::chrono::seconds age) {
    std::error_code error;
    std::filesystem::directory_iterator entries(dataFolder, error);
    if (error) return 0;
    auto now = std::filesystem::file_time_type::clock::now();
    size_t removed = 0;
    for (const auto& entry : entries) {
        std::string name = entry.path().filename().string();
        if (name.rfind("UVP", 0) != 0 || name.find(".tmp_") == std::string::npos) continue;
        // Only plain files: a link of that name is not one of ours to judge by its target.
        if (!entry.is_regular_file(error) || entry.is_symlink(error)) continue;
        auto changed = entry.last_write_time(error);
        if (error || now - changed < age) continue;
        if (std::filesystem::remove(entry.path(), error)) ++removed;
    }
    return removed;
}

}  // namespace wardlet
