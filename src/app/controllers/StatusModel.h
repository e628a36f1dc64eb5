#pragma once

#include "core/domain/Account.h"
#include "core/domain/DictationLanguage.h"
#include "core/domain/HoldKey.h"
#include "core/domain/Readiness.h"
#include "platform/KeyMonitor.h"

#include <QObject>

#include <optional>

namespace parlova::app {

// The one observable record of what the interface shows: the session, the
// account as last read, a payment being awaited, the two permissions and the
// two dictation choices. The dictation and session controllers write it; the
// status item, the menu and every screen read it. Each setter notifies only
// when the value really changes. Main thread only.
class StatusModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool signedIn READ signedIn WRITE setSignedIn NOTIFY signedInChanged)
    Q_PROPERTY(std::optional<parlova::core::Account> account READ account WRITE setAccount NOTIFY
                   accountChanged)
    Q_PROPERTY(bool paymentPending READ paymentPending WRITE setPaymentPending NOTIFY
                   paymentPendingChanged)
    Q_PROPERTY(parlova::core::Readiness::Microphone microphone READ microphone WRITE setMicrophone
                   NOTIFY microphoneChanged)
    Q_PROPERTY(
        bool accessibility READ accessibility WRITE setAccessibility NOTIFY accessibilityChanged)
    Q_PROPERTY(parlova::core::HoldKey holdKey READ holdKey WRITE setHoldKey NOTIFY holdKeyChanged)
    Q_PROPERTY(parlova::core::DictationLanguage language READ language WRITE setLanguage NOTIFY
                   languageChanged)
    Q_PROPERTY(bool lastDictationKept READ lastDictationKept WRITE setLastDictationKept NOTIFY
                   lastDictationKeptChanged)
    Q_PROPERTY(parlova::platform::KeyMonitor::Source keySource READ keySource WRITE setKeySource
                   NOTIFY keySourceChanged)

public:
    using QObject::QObject;

    bool signedIn() const { return m_signedIn; }
    const std::optional<core::Account>& account() const { return m_account; }
    bool paymentPending() const { return m_paymentPending; }
    core::Readiness::Microphone microphone() const { return m_microphone; }
    bool accessibility() const { return m_accessibility; }
    core::HoldKey holdKey() const { return m_holdKey; }
    core::DictationLanguage language() const { return m_language; }
    // A last transcript is kept in memory, to be pasted again.
    bool lastDictationKept() const { return m_lastDictationKept; }
    // How the hold key reaches the program.
    const platform::KeyMonitor::Source& keySource() const { return m_keySource; }

    void setSignedIn(bool signedIn);
    void setAccount(const std::optional<core::Account>& account);
    void setPaymentPending(bool pending);
    void setMicrophone(core::Readiness::Microphone microphone);
    void setAccessibility(bool accessibility);
    void setHoldKey(core::HoldKey key);
    void setLanguage(core::DictationLanguage language);
    void setKeySource(const platform::KeyMonitor::Source& source);
    void setLastDictationKept(bool kept);

    // What a take needs, as the model knows it now.
    core::Readiness readiness() const { return {m_signedIn, m_microphone, m_accessibility}; }

Q_SIGNALS:
    void signedInChanged();
    void accountChanged();
    void paymentPendingChanged();
    void microphoneChanged();
    void accessibilityChanged();
    void holdKeyChanged();
    void languageChanged();
    void keySourceChanged();
    void lastDictationKeptChanged();

private:
    bool m_signedIn = false;
    std::optional<core::Account> m_account;
    bool m_paymentPending = false;
    core::Readiness::Microphone m_microphone = core::Readiness::Microphone::notDetermined;
    bool m_accessibility = false;
    core::HoldKey m_holdKey = core::HoldKey::standard;
    core::DictationLanguage m_language = core::DictationLanguage::standard;
    // Unknown until a key monitor says: every hold key is offered meanwhile.
    platform::KeyMonitor::Source m_keySource{platform::KeyMonitor::Source::Kind::none, {}, false};
    bool m_lastDictationKept = false;
};

} // namespace parlova::app
