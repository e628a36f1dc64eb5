#include "core/domain/Readiness.h"

namespace parlova::core {

Done<DictationFailure> Readiness::check() const {
    if (!signedIn)
        // The relay's own signed-out failure, so that the message is the same.
        return DictationFailure::relay(RelayFailure::signedOut());
    switch (microphone) {
    case Microphone::notDetermined:
        return DictationFailure::microphoneNotDetermined();
    case Microphone::denied:
        return DictationFailure::microphoneDenied();
    case Microphone::granted:
        break;
    }
    if (!accessibility)
        return DictationFailure::accessibilityMissing();
    return std::monostate{};
}

} // namespace parlova::core
