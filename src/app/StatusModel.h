#pragma once

#include "core/Account.h"
#include "core/DictationLanguage.h"
#include "core/HoldKey.h"
#include "core/Readiness.h"

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

public:
    using QObject::QObject;

    bool signedIn() const { return m_signedIn; }
    const std::optional<core::Account>& account() const { return m_account; }
    bool paymentPending() const { return m_paymentPending; }
    core::Readiness::Microphone microphone() const { return m_microphone; }
    bool accessibility() const { return m_accessibility; }
    core::HoldKey holdKey() const { return m_holdKey; }
    core::DictationLanguage language() const { return m_language; }

    void setSignedIn(bool signedIn);
    void setAccount(const std::optional<core::Account>& account);
    void setPaymentPending(bool pending);
    void setMicrophone(core::Readiness::Microphone microphone);
    void setAccessibility(bool accessibility);
    void setHoldKey(core::HoldKey key);
    void setLanguage(core::DictationLanguage language);

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

private:
    bool m_signedIn = false;
    std::optional<core::Account> m_account;
    bool m_paymentPending = false;
    core::Readiness::Microphone m_microphone = core::Readiness::Microphone::notDetermined;
    bool m_accessibility = false;
    core::HoldKey m_holdKey = core::HoldKey::standard;
    core::DictationLanguage m_language = core::DictationLanguage::standard;
};

} // namespace parlova::app
