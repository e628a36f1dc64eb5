#include "core/domain/DictationFailure.h"

#include "core/texts/Catalog.h"

#include <iterator>

using namespace Qt::StringLiterals;

namespace parlova::core {

namespace {

struct CaseInfo {
    const char* name;
    const char* key; // of the message in the catalog; relay failures bring their own
};

// In the order of DictationFailure::Kind.
constexpr CaseInfo caseInfos[] = {
    {"relay", nullptr},
    {"microphoneDenied", "failure.microphoneDenied"},
    {"microphoneNotDetermined", "failure.microphoneNotDetermined"},
    {"accessibilityMissing", "failure.accessibilityMissing"},
    {"recordingFailed", "failure.recordingFailed"},
    {"noSound", "failure.noSound"},
    {"noSpeech", "failure.noSpeech"},
    {"insertionFailed", "failure.insertionFailed"},
};
static_assert(std::size(caseInfos) == std::size_t(DictationFailure::Kind::insertionFailed) + 1);

const CaseInfo& caseInfo(DictationFailure::Kind kind) {
    return caseInfos[std::size_t(kind)];
}

} // namespace

QString DictationFailure::message() const {
    if (m_kind == Kind::relay)
        return m_relay->message();
    return Catalog::text(caseInfo(m_kind).key);
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
    if (m_kind == Kind::relay)
        return u"relay(%1)"_s.arg(m_relay->caseText());
    return QLatin1StringView(caseInfo(m_kind).name);
}

} // namespace parlova::core
