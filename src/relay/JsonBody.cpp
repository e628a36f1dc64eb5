#include "relay/JsonBody.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace parlova::relay {

std::optional<Reply> JsonBody::read(const QByteArray& contentType, const QByteArray& body,
                                    QJsonObject* object) {
    // "application/json", optionally followed by parameters such as a charset.
    const QByteArray mediaType = contentType.split(';').first().trimmed().toLower();
    if (mediaType != "application/json")
        return Reply::error(415, QStringLiteral("type-contenu"));
    if (body.size() > maxSize)
        return Reply::error(413, QStringLiteral("taille"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return malformed();
    *object = document.object();
    return std::nullopt;
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

Reply JsonBody::malformed() {
    return Reply::error(400, QStringLiteral("json"));
}

} // namespace parlova::relay
