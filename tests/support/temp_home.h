#pragma once

#include <filesystem>
#include <string>

namespace wardlet::test {

// A fresh temporary directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Points XDG_DATA_HOME at a fresh temporary directory for the object's lifetime, so the
// programs' data folder lands in "<tmp>/Calvorne/Wardlet". The old value comes back afterwards.
class TempDataHome {
public:
    TempDataHome();
    ~TempDataHome();
    const std::filesystem::path& home() const { return dir_.path(); }
    std::filesystem::path dataFolder() const { return dir_.path() / "Calvorne" / "Wardlet"; }
    // Creates the data folder (mode 0700) and returns it.
    std::filesystem::path makeDataFolder() const;

private:
    TempDir dir_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace wardlet::test
