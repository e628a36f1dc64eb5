#include "relay/JsonBody.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace parlova::relay {

Outcome<QJsonObject> JsonBody::read(const QByteArray& contentType, const QByteArray& body) {
    // "application/json", optionally followed by parameters such as a charset.
    const QByteArray mediaType = contentType.split(';').first().trimmed().toLower();
    if (mediaType != "application/json")
        return Refusal::ContentType;
    if (body.size() > maxSize)
        return Refusal::BodyTooLarge;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return Refusal::MalformedJson;
    return document.object();
}

bool JsonBody::text(const QJsonObject& object, const QString& key, bool required,
                    std::optional<QString>* value) {
    const QJsonValue member = object.value(key);
    if (member.isString()) {
        *value = member.toString();
        return true;
    }
    value->reset();
    return !required && (member.isUndefined() || member.isNull());
}

} // namespace parlova::relay
