#include "relay/Reply.h"

#include "protocol/Member.h"

#include <QJsonDocument>

namespace parlova::relay {

Reply Reply::json(int status, const QJsonObject& object) {
    Reply reply;
    reply.status = status;
    reply.contentType = "application/json; charset=utf-8";
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

Reply Reply::noContent() {
    Reply reply;
    reply.status = 204;
    return reply;
}

Reply Reply::error(int status, protocol::ErrorCode code, QJsonObject details) {
    details.insert(protocol::Member::error, code.text());
    return json(status, details);
}

Reply Reply::wait(protocol::ErrorCode code, qint64 seconds) {
    seconds = std::max<qint64>(seconds, 1);
    return error(429, code, {{protocol::Member::wait, seconds}})
        .withHeader("Retry-After", QByteArray::number(seconds));
}

Reply Reply::html(int status, const QString& page) {
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = page.toUtf8();
    return reply;
}

Reply Reply::seeOther(const QString& location) {
    Reply reply;
    reply.status = 303;
    reply.headers.append({"Location", location.toUtf8()});
    return reply;
}

Reply& Reply::withHeader(const QByteArray& name, const QByteArray& value) {
    headers.append({name, value});
    return *this;
}

} // namespace parlova::relay
