// The relay's reading of JSON request bodies and of the control route's
// scripted answers. Input: the content type up to a NUL, then the body.
#include "FuzzInput.h"

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
    QJsonObject object;
    const auto refusal = relay::JsonBody::read(type, body, &object);
    if (refusal) {
        FUZZ_CHECK(refusal->status >= 400 && refusal->status < 500);
    } else {
        for (const QString& key : object.keys()) {
            std::optional<QString> value;
            (void)relay::JsonBody::text(object, key, true, &value);
        }
    }
    relay::ScriptedAnswer answer;
    (void)relay::ControlState::parse(type, body, &answer);
    return 0;
}
