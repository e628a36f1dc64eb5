#pragma once

#include "protocol/ErrorCode.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

namespace parlova::relay {

// One answer of the relay, independent of the HTTP library: status, body and
// the headers that matter. API refusals carry the JSON error body that the
// client reads: {"erreur": code, and "attente", "essaisRestants" or
// "reinitialisation" where they apply}.
struct Reply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    static Reply json(int status, const QJsonObject& object);
    static Reply noContent();
    static Reply error(int status, protocol::ErrorCode code, QJsonObject details = {});
    // A 429 refusal whose waiting time is also given as the Retry-After header.
    static Reply wait(protocol::ErrorCode code, qint64 seconds);
    static Reply html(int status, const QString& page);
    // 303 See Other, so that a reloaded page never posts its form twice.
    static Reply seeOther(const QString& location);

    Reply& withHeader(const QByteArray& name, const QByteArray& value);
};

} // namespace parlova::relay
