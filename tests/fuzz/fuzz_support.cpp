#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "common/fd_io.h"
#include "fuzz_check.h"
#include "temp_home.h"

namespace wardlet::fuzz {

void WriteWholeFile(const std::filesystem::path& file, std::string_view bytes) {
    // A new file each time: rewriting a truncated one makes the file system flush it on close.
    unlink(file.c_str());
    UniqueFd fd(open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    FUZZ_REQUIRE(fd.get() >= 0);
    FUZZ_REQUIRE(WriteAll(fd.get(), bytes));
}

const std::filesystem::path& ScratchFolder() {
    static const auto folder = std::make_unique<test::TempDir>();
    return folder->path();
}

}  // namespace wardlet::fuzz
