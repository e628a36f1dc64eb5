#include "relay/ControlState.h"

#include "relay/JsonBody.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace parlova::relay {

Outcome<ScriptedAnswer> ControlState::parse(const QByteArray& contentType, const QByteArray& body) {
    const auto parsed = JsonBody::read(contentType, body);
    if (!parsed)
        return parsed.failure();
    const QJsonObject& object = *parsed;
    std::optional<QString> route;
    std::optional<QString> method;
    std::optional<QString> type;
    if (!JsonBody::text(object, QStringLiteral("route"), true, &route) ||
        !JsonBody::text(object, QStringLiteral("methode"), false, &method) ||
        !JsonBody::text(object, QStringLiteral("typeContenu"), false, &type))
        return Refusal::MalformedJson;
    ScriptedAnswer answer;
    answer.path = route->startsWith(u'/') ? *route : u'/' + *route;
    answer.method = method.value_or(QString()).toUpper();
    answer.delayMs = std::clamp(object.value(QStringLiteral("delai")).toInt(0), 0, maxDelayMs);
    answer.drop = object.value(QStringLiteral("coupure")).toBool(false);
    answer.times = std::max(object.value(QStringLiteral("fois")).toInt(1), 1);

    const int status = object.value(QStringLiteral("statut")).toInt(0);
    if (status != 0) {
        if (status < 200 || status > 599)
            return Refusal::InvalidStatus;
        Reply reply;
        reply.status = status;
        const QJsonValue content = object.value(QStringLiteral("corps"));
        if (content.isObject() || content.isArray()) {
            reply.contentType = "application/json; charset=utf-8";
            reply.body = content.isObject()
                             ? QJsonDocument(content.toObject()).toJson(QJsonDocument::Compact)
                             : QJsonDocument(content.toArray()).toJson(QJsonDocument::Compact);
        } else if (content.isString()) {
            reply.contentType = "text/plain; charset=utf-8";
            reply.body = content.toString().toUtf8();
        }
        if (type)
            reply.contentType = type->toUtf8();
        const QJsonValue retryAfter = object.value(QStringLiteral("retryAfter"));
        if (retryAfter.isString())
            reply.withHeader("Retry-After", retryAfter.toString().toUtf8());
        else if (retryAfter.isDouble())
            reply.withHeader("Retry-After", QByteArray::number(retryAfter.toInteger()));
        answer.reply = reply;
    }
    return answer;
}

void ControlState::add(ScriptedAnswer answer) {
    const std::lock_guard lock(m_mutex);
    m_answers.append(std::move(answer));
}

void ControlState::clear() {
    const std::lock_guard lock(m_mutex);
    m_answers.clear();
}

std::optional<ScriptedAnswer> ControlState::take(const QString& method, const QString& path) {
    const std::lock_guard lock(m_mutex);
    for (qsizetype i = 0; i < m_answers.size(); ++i) {
        ScriptedAnswer& answer = m_answers[i];
        if (answer.path != path || (!answer.method.isEmpty() && answer.method != method))
            continue;
        ScriptedAnswer taken = answer;
        if (--answer.times <= 0)
            m_answers.removeAt(i);
        return taken;
    }
    return std::nullopt;
}

} // namespace parlova::relay
