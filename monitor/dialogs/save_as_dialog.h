#pragma once

#include <QWidget>
#include <filesystem>
#include <optional>

namespace wardlet {

// The "Save As..." dialog: one filter "All Files (*.*)", starting in `folder`, asking before an
// existing file is replaced; the current directory is not changed.
std::optional<std::filesystem::path> RunSaveAsDialog(QWidget* parent,
                                                     const std::filesystem::path& folder);

}  // namespace wardlet
