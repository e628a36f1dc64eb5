#pragma once

#include "core/domain/Account.h"
#include "core/domain/Dictation.h"
#include "core/domain/DictationFailure.h"
#include "core/domain/DictationLanguage.h"
#include "core/domain/PaymentPage.h"
#include "core/domain/SignIn.h"
#include "core/relayclient/RelayTransport.h"
#include "core/relayclient/Route.h"
#include "core/settings/SettingsStore.h"

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

namespace parlova::core {

// How long the connection to the relay may stay silent before an exchange
// gives up.
struct RelayTimeouts {
    std::chrono::milliseconds exchange = std::chrono::seconds(20);
    std::chrono::milliseconds dictation = std::chrono::seconds(45);
};

// The program's only way to talk to the relay: one origin and one transport.
// It keeps no state between calls; the session token is handed to each call
// that needs one, and each user builds a client with the origin the settings
// give at that moment. Copies are cheap and share the transport.
//
// Every operation starts sending at once and ends in its value or in exactly
// one failure. Nothing is retried: that is always the caller's decision.
class RelayClient {
public:
    using Timeouts = RelayTimeouts;

    // Over the program's network transport, to the relay the settings name,
    // trusting the authorities they name for it.
    explicit RelayClient(const SettingsStore& settings);
    // The authorities are trusted, besides the system's, for this origin only.
    RelayClient(QUrl origin, std::shared_ptr<RelayTransport> transport, Timeouts timeouts = {},
                QList<QSslCertificate> authorities = {});

    const QUrl& origin() const { return m_origin; }
    const Timeouts& timeouts() const { return m_timeouts; }
    QUrl url(Route route) const { return routeUrl(m_origin, route); }

    // Uploads one take (the bytes of its .m4a file, sent unchanged) for
    // transcription. An empty transcript is noSpeech; every relay or
    // transport problem is DictationFailure::relay.
    // The timeline, when given, learns when the request left and when its
    // answer began.
    QCoro::Task<RelayResult<Dictation, DictationFailure>>
    dictate(QByteArray audio, QString token, DictationLanguage language,
            std::shared_ptr<DictationTimeline> timeline = {}) const;

    // Has the transport open its connection to the relay now, so that the
    // next exchange does not wait for a handshake. Sends no request.
    void warmUp() const;

    // The e-mail and the codes go out exactly as given: callers normalise the
    // referral code and reduce the sign-in code to its digits first.
    QCoro::Task<RelayDone> requestCode(QString email, std::optional<QString> referral) const;
    QCoro::Task<RelayResult<SignIn>> signIn(QString email, QString code,
                                            std::optional<QString> referral) const;
    QCoro::Task<RelayDone> signOut(QString token) const;
    QCoro::Task<RelayResult<Account>> account(QString token) const;
    QCoro::Task<RelayDone> deleteAccount(QString token) const;
    // The address of a checkout or portal page; only a secure web page is
    // accepted, anything else is an unexpected response.
    QCoro::Task<RelayResult<QUrl>> paymentPage(PaymentPage page, QString token) const;

private:
    // The dictation request, with its hand-built multipart body.
    static RelayTransport::Request dictationRequest(const QUrl& url, const QString& token,
                                                    const QByteArray& audio,
                                                    DictationLanguage language,
                                                    const QString& boundary,
                                                    std::chrono::milliseconds timeout);
    // "parlova-" and a fresh upper-case UUID: one per upload.
    static QString newBoundary();

    RelayTransport::Request request(const QByteArray& method, Route route,
                                    const std::optional<QString>& token,
                                    const std::optional<QByteArray>& json) const;

    QUrl m_origin;
    std::shared_ptr<RelayTransport> m_transport;
    Timeouts m_timeouts;
    QList<QSslCertificate> m_authorities;
};

} // namespace parlova::core
