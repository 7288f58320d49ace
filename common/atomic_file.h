#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string_view>

namespace wardlet {

// Replaces `file` with `bytes` so that readers see either the old or the new content, never a
// half-written file: the bytes go to a new file beside it (its name ends in ".tmp", so one left
// by a crash is removed with the other temporary files), are flushed, then renamed over it.
// A failed write removes the new file and leaves the old one as it was. `mode` applies to the
// new file (0600 for files that hold secrets).
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                           mode_t mode = 0644);

// Test seam: called after the new file is written and before the rename.
void SetBeforeRenameHookForTesting(std::function<void()> hook);

}  // namespace wardlet
