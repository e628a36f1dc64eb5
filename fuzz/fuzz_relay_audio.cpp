// Uploaded takes, decoded by the relay before transcription.
#include "FuzzInput.h"

#include "relay/AudioDecoder.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace parlova;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto result = relay::AudioDecoder::decode(fuzz::bytes(data, size), 130);
    FUZZ_CHECK(!result || !result->empty());
    FUZZ_CHECK(!result || result->size() <= size_t(130 * relay::AudioDecoder::sampleRate));
    return 0;
}
