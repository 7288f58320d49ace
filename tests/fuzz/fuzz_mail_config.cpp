// "Wardlet.mail" holding any bytes, read from memory and from the file the monitor's lenient way
// and the mailer's strict way (a whole 496-byte block or nothing).
#include <algorithm>
#include <cstring>

#include "common/little_endian.h"
#include "common/mail_config.h"
#include "fuzz_check.h"

using namespace wardlet;

namespace {

bool AllZero(const MailConfig& config) {
    MailConfigBytes bytes = ToBytes(config);
    return std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    MailConfigBytes expected{};
    memcpy(expected.data(), data, std::min(size, expected.size()));
    MailConfig config = MailConfigFromBytes(data, size);
    FUZZ_REQUIRE(ToBytes(config) == expected);
    FUZZ_REQUIRE(config.requiresAuth == LoadLe32(expected.data() + 8));

    const auto file = fuzz::ScratchFolder() / kMailConfigFile;
    fuzz::WriteWholeFile(file, fuzz::AsText(data, size));
    FUZZ_REQUIRE(ToBytes(ReadMailConfigLenient(file)) == expected);

    MailConfig strict;
    MailConfigRead result = ReadMailConfigStrict(file, strict);
    if (size >= sizeof(MailConfig)) {
        FUZZ_REQUIRE(result == MailConfigRead::Ok);
        FUZZ_REQUIRE(ToBytes(strict) == expected);
    } else {
        FUZZ_REQUIRE(result == MailConfigRead::TooShort);
        FUZZ_REQUIRE(AllZero(strict));
    }
    return 0;
}
