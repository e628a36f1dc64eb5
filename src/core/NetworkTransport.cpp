#include "core/NetworkTransport.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QThread>

namespace parlova::core {

namespace {

std::shared_ptr<NetworkTransport>& standardTransport() {
    static std::shared_ptr<NetworkTransport> transport;
    return transport;
}

void releaseStandardTransport() {
    standardTransport().reset();
}

// The coroutine resumes inside the reply's finished() signal, and Qt's network
// code still uses the reply once that signal returns: it may only go once the
// event loop turns again.
struct LaterDeletion {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Errors of the connection itself (1-99) and of a proxy (101-199), as
// opposed to the errors Qt derives from an HTTP status, which are answers.
bool isTransportError(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

// Qt reports our own transfer time-out as OperationCanceledError (or
// TimeoutError); timeoutFired tells a time-out from a cancellation. "Network
// unreachable" and "host unreachable" come as UnknownNetworkError: a machine
// without a route is offline like one without a connection.
RelayFailure failureOf(QNetworkReply::NetworkError error, bool timeoutFired) {
    switch (error) {
    case QNetworkReply::OperationCanceledError:
        return timeoutFired ? RelayFailure::timedOut() : RelayFailure::unavailable();
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return RelayFailure::timedOut();
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
        return RelayFailure::offline();
    default:
        return RelayFailure::unavailable();
    }
}

// Which certificate authorities a request to a relay with authorities of its
// own trusts. Those alone come first: reading the system store costs more
// than a whole command-line run, and a relay that names its authority is
// almost always signed by it. Only a handshake they cannot vouch for is tried
// again with the system store added, so the set that is finally trusted is
// the same either way.
enum class Trust { relayAuthorities, relayAndSystem };

QNetworkRequest networkRequest(const RelayTransport::Request& request, Trust trust) {
    QNetworkRequest result(request.url);
    for (const RelayTransport::Header& header : request.headers)
        result.setRawHeader(header.first, header.second);
    result.setTransferTimeout(static_cast<int>(request.timeout.count()));
    result.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::ManualRedirectPolicy);
    result.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    result.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    if (!request.authorities.isEmpty()) {
        // Only this request trusts them: the configuration travels with it,
        // never into the application-wide default.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(trust == Trust::relayAndSystem
                                  ? QSslConfiguration::systemCaCertificates() + request.authorities
                                  : request.authorities);
        result.setSslConfiguration(tls);
    }
    return result;
}

} // namespace

NetworkTransport::NetworkTransport()
    : m_manager(std::make_unique<QNetworkAccessManager>()) {}

NetworkTransport::~NetworkTransport() = default;

std::shared_ptr<RelayTransport> NetworkTransport::standard() {
    Q_ASSERT(QCoreApplication::instance());
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    std::shared_ptr<NetworkTransport>& transport = standardTransport();
    if (!transport) {
        transport = std::make_shared<NetworkTransport>();
        qAddPostRoutine(releaseStandardTransport);
    }
    return transport;
}

QCoro::Task<RelayResult<RelayTransport::Response>> NetworkTransport::send(Request request) {
    QElapsedTimer clock;
    clock.start();
    // Every method goes out as a custom verb, so Qt never invents a
    // Content-Type for a POST that carries no body. Such a POST still states
    // its empty length, which some servers demand.
    const bool statesLength = request.body || request.method == "POST" || request.method == "PUT";
    Trust trust = Trust::relayAuthorities;
    std::unique_ptr<QNetworkReply, LaterDeletion> reply;
    for (;;) {
        const QNetworkRequest outgoing = networkRequest(request, trust);
        reply.reset(statesLength ? m_manager->sendCustomRequest(outgoing, request.method,
                                                                request.body.value_or(""))
                                 : m_manager->sendCustomRequest(outgoing, request.method));
        co_await reply.get();
        // A refused handshake sent nothing of the request to anyone.
        if (reply->error() != QNetworkReply::SslHandshakeFailedError ||
            request.authorities.isEmpty() || trust == Trust::relayAndSystem)
            break;
        trust = Trust::relayAndSystem;
    }

    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (isTransportError(error) || (error != QNetworkReply::NoError && !status.isValid())) {
        // Qt reports its own transfer time-out as a cancellation; nothing
        // else cancels these replies, and never before the time-out span.
        const qint64 span = request.timeout.count();
        const bool timeoutFired = span > 0 && clock.elapsed() >= span * 9 / 10;
        co_return failureOf(error, timeoutFired);
    }

    Response response;
    if (status.isValid())
        response.status = status.toInt();
    response.body = reply->readAll();
    for (const QNetworkReply::RawHeaderPair& header : reply->rawHeaderPairs())
        response.headers.emplaceBack(header.first, header.second);
    co_return response;
}

} // namespace parlova::core
