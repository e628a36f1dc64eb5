#include "core/relayclient/NetworkTransport.h"

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

// The relay speaks HTTP/1.1 and a dictation is one request at a time:
// HTTP/2 would only add its negotiation, and a connection opened ahead of a
// request is found again only when both were made with the same protocols.
QSslConfiguration tlsConfiguration(const QList<QSslCertificate>& authorities, Trust trust) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
    // Only this request trusts them: the configuration travels with it,
    // never into the application-wide default.
    if (!authorities.isEmpty())
        tls.setCaCertificates(trust == Trust::relayAndSystem
                                  ? QSslConfiguration::systemCaCertificates() + authorities
                                  : authorities);
    return tls;
}

QNetworkRequest networkRequest(const RelayTransport::Request& request, Trust trust) {
    QNetworkRequest result(request.url);
    for (const RelayTransport::Header& header : request.headers)
        result.setRawHeader(header.first, header.second);
    result.setTransferTimeout(static_cast<int>(request.timeout.count()));
    result.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::ManualRedirectPolicy);
    result.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    result.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    result.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    result.setSslConfiguration(tlsConfiguration(request.authorities, trust));
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

void NetworkTransport::warm(const QUrl& origin, const QList<QSslCertificate>& authorities) {
    if (origin.scheme() == u"https")
        m_manager->connectToHostEncrypted(origin.host(), static_cast<quint16>(origin.port(443)),
                                          tlsConfiguration(authorities, Trust::relayAuthorities));
    else if (origin.scheme() == u"http")
        m_manager->connectToHost(origin.host(), static_cast<quint16>(origin.port(80)));
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
        if (request.timeline)
            request.timeline->mark(DictationTimeline::Stage::handedToNetwork);
        reply.reset(statesLength ? m_manager->sendCustomRequest(outgoing, request.method,
                                                                request.body.value_or(""))
                                 : m_manager->sendCustomRequest(outgoing, request.method));
        if (const std::shared_ptr<DictationTimeline> timeline = request.timeline)
            QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(),
                             [timeline] { timeline->mark(DictationTimeline::Stage::firstByte); });
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
