// The options file "Wardlet.option" holding any bytes: its first 44 bytes are the eleven fields,
// a short file reads as zeros after its end, and the values derived from it stay in range.
#include <algorithm>
#include <cstring>

#include "fuzz_check.h"
#include "monitor/model/options.h"

using namespace wardlet;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    MonitorOptions options = OptionsFromBytes(data, size);
    OptionsBytes expected{};
    memcpy(expected.data(), data, std::min(size, expected.size()));
    FUZZ_REQUIRE(ToBytes(options) == expected);
    FUZZ_REQUIRE(ToBytes(OptionsFromBytes(expected.data(), expected.size())) == expected);

    FUZZ_REQUIRE(PeriodicCheckInterval(options).count() > 0);
    OptionsHolder holder(options);
    int32_t threads = holder.CorrectedThreadCount();
    FUZZ_REQUIRE(threads >= 1 && threads <= 5);
    FUZZ_REQUIRE(holder.Get().threadCount == threads);

    // The file read gives the same options as the bytes.
    const auto& folder = fuzz::ScratchFolder();
    fuzz::WriteWholeFile(folder / kOptionsFile, fuzz::AsText(data, size));
    auto read = ReadOptionsFile(folder);
    FUZZ_REQUIRE(read && ToBytes(*read) == expected);
    return 0;
}
