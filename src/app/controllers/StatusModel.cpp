#include "app/controllers/StatusModel.h"

#include "app/controllers/AssignIfChanged.h"

namespace parlova::app {

void StatusModel::setSignedIn(bool signedIn) {
    if (assignIfChanged(m_signedIn, signedIn))
        Q_EMIT signedInChanged();
}

void StatusModel::setAccount(const std::optional<core::Account>& account) {
    if (assignIfChanged(m_account, account))
        Q_EMIT accountChanged();
}

void StatusModel::setPaymentPending(bool pending) {
    if (assignIfChanged(m_paymentPending, pending))
        Q_EMIT paymentPendingChanged();
}

void StatusModel::setMicrophone(core::Readiness::Microphone microphone) {
    if (assignIfChanged(m_microphone, microphone))
        Q_EMIT microphoneChanged();
}

void StatusModel::setLastDictationKept(bool kept) {
    if (assignIfChanged(m_lastDictationKept, kept))
        Q_EMIT lastDictationKeptChanged();
}

void StatusModel::setKeySource(const platform::KeyMonitor::Source& source) {
    if (assignIfChanged(m_keySource, source))
        Q_EMIT keySourceChanged();
}

void StatusModel::setAccessibility(bool accessibility) {
    if (assignIfChanged(m_accessibility, accessibility))
        Q_EMIT accessibilityChanged();
}

void StatusModel::setHoldKey(core::HoldKey key) {
    if (assignIfChanged(m_holdKey, key))
        Q_EMIT holdKeyChanged();
}

void StatusModel::setLanguage(core::DictationLanguage language) {
    if (assignIfChanged(m_language, language))
        Q_EMIT languageChanged();
}

} // namespace parlova::app
