#pragma once

#include <filesystem>
#include <string>

namespace wardlet::test {

// Whole-file helpers for byte-level assertions; a missing file reads as empty.
std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
// The file's permission bits (for example 0600).
unsigned FileMode(const std::filesystem::path& file);

}  // namespace wardlet::test
