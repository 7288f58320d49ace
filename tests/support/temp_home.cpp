#include "temp_home.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace wardlet::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wardlet-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

TempDataHome::TempDataHome() {
    if (const char* old = std::getenv("XDG_DATA_HOME")) {
        hadOld_ = true;
        old_ = old;
    }
    setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
}

TempDataHome::~TempDataHome() {
    if (hadOld_)
        setenv("XDG_DATA_HOME", old_.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

std::filesystem::path TempDataHome::makeDataFolder() const {
    auto folder = dataFolder();
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    return folder;
}

}  // namespace wardlet::test
