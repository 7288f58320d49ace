// The mail body built from a queue "Wardpost.msg" holding any bytes: bounded, free of zero bytes,
// never stuck on the same bytes, and the same when built again from only the bytes it consumed.
#include <string>

#include "common/mail_queue.h"
#include "fuzz_check.h"

using namespace wardlet;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string_view queue = fuzz::AsText(data, size);
    MailBody body = BuildMailBody(queue);
    FUZZ_REQUIRE(!body.text.empty() && body.text.size() < 8000);
    FUZZ_REQUIRE(body.text.find('\0') == std::string::npos);
    FUZZ_REQUIRE(body.consumed <= size);
    // A run that takes nothing off a non-empty queue would send the same mail forever.
    FUZZ_REQUIRE(size == 0 || body.consumed > 0);
    bool fallback = body.text == kMailFallbackBody;
    if (!fallback) FUZZ_REQUIRE(body.text.size() <= body.consumed);

    // What stays queued is what the next run sees; the consumed bytes alone give the same mail.
    MailBody again = BuildMailBody(queue.substr(0, body.consumed));
    FUZZ_REQUIRE(again.text == body.text);
    FUZZ_REQUIRE(again.consumed == body.consumed);
    return 0;
}
