#pragma once

#include "core/relayclient/RelayTransport.h"

#include <QNetworkAccessManager>

#include <memory>

namespace parlova::core {

// The relay transport of the running program: one long-lived network access
// manager, whose connections are kept alive from one exchange to the next.
// It sends the client's headers and nothing of its own that Qt lets it leave
// out: no cookies, no redirect (a session token never follows a
// redirect to another address; the relay does not redirect its API).
//
// Qt still adds what its HTTP layer always writes: Host, Content-Length,
// Connection, Accept-Encoding (the answer is decompressed here),
// Accept-Language and a generic "Mozilla/5.0" User-Agent; an empty value does
// not remove them.
class NetworkTransport final : public RelayTransport {
public:
    NetworkTransport();
    ~NetworkTransport() override;

    // The shared transport of the application's thread, created on first use
    // and released when the application object goes away.
    static std::shared_ptr<RelayTransport> standard();

    // Time-outs, unreachable hosts and lost connections come back as
    // timedOut and offline; everything else the network layer refuses
    // (certificates included) as unavailable. Any HTTP status is an answer.
    QCoro::Task<RelayResult<Response>> send(Request request) override;
    void warm(const QUrl& origin, const QList<QSslCertificate>& authorities) override;

private:
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

} // namespace parlova::core
