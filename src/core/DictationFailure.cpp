#include "core/DictationFailure.h"

#include "core/Catalog.h"

namespace parlova::core {

QString DictationFailure::message() const {
    switch (m_kind) {
    case Kind::relay:
        return m_relay->message();
    case Kind::microphoneDenied:
        return Catalog::text("failure.microphoneDenied");
    case Kind::microphoneNotDetermined:
        return Catalog::text("failure.microphoneNotDetermined");
    case Kind::accessibilityMissing:
        return Catalog::text("failure.accessibilityMissing");
    case Kind::recordingFailed:
        return Catalog::text("failure.recordingFailed");
    case Kind::noSound:
        return Catalog::text("failure.noSound");
    case Kind::noSpeech:
        return Catalog::text("failure.noSpeech");
    case Kind::insertionFailed:
        return Catalog::text("failure.insertionFailed");
    }
    return Catalog::text("failure.recordingFailed");
}

bool DictationFailure::opensWelcome() const {
    switch (m_kind) {
    case Kind::relay:
        return m_relay->kind() == RelayFailure::Kind::signedOut;
    case Kind::microphoneDenied:
    case Kind::microphoneNotDetermined:
    case Kind::accessibilityMissing:
        return true;
    default:
        return false;
    }
}

bool DictationFailure::opensPro() const {
    return m_kind == Kind::relay && m_relay->kind() == RelayFailure::Kind::quotaReached;
}

QString DictationFailure::caseText() const {
    switch (m_kind) {
    case Kind::relay:
        return QStringLiteral("relay(%1)").arg(m_relay->caseText());
    case Kind::microphoneDenied:
        return QStringLiteral("microphoneDenied");
    case Kind::microphoneNotDetermined:
        return QStringLiteral("microphoneNotDetermined");
    case Kind::accessibilityMissing:
        return QStringLiteral("accessibilityMissing");
    case Kind::recordingFailed:
        return QStringLiteral("recordingFailed");
    case Kind::noSound:
        return QStringLiteral("noSound");
    case Kind::noSpeech:
        return QStringLiteral("noSpeech");
    case Kind::insertionFailed:
        return QStringLiteral("insertionFailed");
    }
    return {};
}

} // namespace parlova::core
