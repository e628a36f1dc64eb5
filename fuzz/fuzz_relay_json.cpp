// The relay's reading of JSON request bodies and of the control route's
// scripted answers. Input: the content type up to a NUL, then the body.
#include "FuzzInput.h"

#include "relay/Answers.h"
#include "relay/ControlState.h"
#include "relay/JsonBody.h"

using namespace parlova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray body = fuzz::bytes(data, size);
    QByteArray type = "application/json";
    const qsizetype nul = body.indexOf('\0');
    if (nul >= 0 && nul < 80) {
        type = body.left(nul);
        body = body.mid(nul + 1);
    }
    const auto object = relay::JsonBody::read(type, body);
    if (!object) {
        const int status = relay::Answers::refusal(object.failure()).status;
        FUZZ_CHECK(status >= 400 && status < 500);
    } else {
        for (const QString& key : object->keys()) {
            std::optional<QString> value;
            (void)relay::JsonBody::text(*object, key, true, &value);
        }
    }
    (void)relay::ControlState::parse(type, body);
    return 0;
}
