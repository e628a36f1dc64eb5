// A refusal of the relay: its status, its Retry-After header and its body.
// Input: two bytes of status, then the header up to a NUL (none without
// one), then the body.
#include "FuzzInput.h"

#include "core/domain/RelayFailure.h"

using namespace parlova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int status = data[0] | (data[1] & 0x3) << 8; // 0 to 1023
    QByteArray rest = fuzz::bytes(data + 2, size - 2);
    std::optional<QString> retryAfter;
    const qsizetype nul = rest.indexOf('\0');
    if (nul >= 0) {
        retryAfter = QString::fromUtf8(rest.left(nul));
        rest = rest.mid(nul + 1);
    }
    (void)core::RelayFailure::Details::fromBody(rest);
    const core::RelayFailure failure = core::RelayFailure::fromStatus(status, rest, retryAfter);
    FUZZ_CHECK(!failure.message().isEmpty());
    FUZZ_CHECK(!failure.caseText().isEmpty());
    if (const auto attempts = failure.attemptsLeft())
        FUZZ_CHECK(*attempts >= 0);
    if (const auto wait = failure.retryAfter())
        FUZZ_CHECK(!core::RelayFailure::delay(*wait).isEmpty());
    return 0;
}
