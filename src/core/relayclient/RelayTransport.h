#pragma once

#include "core/Result.h"
#include "core/domain/DictationTimeline.h"
#include "core/domain/RelayFailure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCoroTask>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

namespace parlova::core {

// The value of a relay exchange, or the one failure that ended it.
template <typename T, typename Failure = RelayFailure>
using RelayResult = Result<T, Failure>;

// The success of an exchange that answers nothing.
using RelayDone = Done<RelayFailure>;

// Carries one finished HTTP request to the relay and brings back its answer.
// The relay client builds every request completely (method, URL, headers,
// body, time-out); a transport adds nothing of its own that it can avoid.
class RelayTransport {
public:
    using Header = std::pair<QByteArray, QByteArray>;

    struct Request {
        QByteArray method; // "GET", "POST", "DELETE"
        QUrl url;
        QList<Header> headers; // exactly these, in this order
        std::optional<QByteArray> body;
        // Longest silence allowed on the connection before giving up.
        std::chrono::milliseconds timeout{0};
        // Authorities trusted for this request besides the system's.
        QList<QSslCertificate> authorities;
        // Where a dictation's request notes when it left and when its
        // answer began; none for the other exchanges.
        std::shared_ptr<DictationTimeline> timeline;

        // The value of a header, compared without regard to case; none when absent.
        std::optional<QByteArray> header(QByteArrayView name) const { return find(headers, name); }
    };

    struct Response {
        std::optional<int> status; // none when the answer was not HTTP
        QByteArray body;
        QList<Header> headers;

        std::optional<QByteArray> header(QByteArrayView name) const { return find(headers, name); }
    };

    virtual ~RelayTransport() = default;

    // A transport failure is timedOut, offline or unavailable.
    virtual QCoro::Task<RelayResult<Response>> send(Request request) = 0;

    // Opens (or keeps) a connection to the origin, trusting those
    // authorities, so that the next request finds it ready. Sends nothing;
    // a transport without connections of its own ignores it.
    virtual void warm(const QUrl& origin, const QList<QSslCertificate>& authorities) {
        Q_UNUSED(origin);
        Q_UNUSED(authorities);
    }

protected:
    RelayTransport() = default;
    RelayTransport(const RelayTransport&) = default;
    RelayTransport& operator=(const RelayTransport&) = default;

private:
    static std::optional<QByteArray> find(const QList<Header>& headers, QByteArrayView name) {
        for (const Header& header : headers) {
            if (QByteArrayView(header.first).compare(name, Qt::CaseInsensitive) == 0)
                return header.second;
        }
        return std::nullopt;
    }
};

} // namespace parlova::core
