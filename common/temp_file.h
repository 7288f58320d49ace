#pragma once

#include <filesystem>
#include <optional>

namespace wardlet {

// Creates a new, empty temporary file "UVP<hex>.tmp" in `folder` (exclusive creation, so an
// existing file is never reused) and returns its path; nullopt when none could be created.
std::optional<std::filesystem::path> CreateTempFile(const std::filesystem::path& folder);

}  // namespace wardlet
