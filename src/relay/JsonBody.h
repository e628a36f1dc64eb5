#pragma once

#include "relay/Outcome.h"

#include <QJsonObject>

#include <optional>

namespace parlova::relay {

// The JSON object that a request carries, read strictly: the content type
// must be application/json, the body one JSON object of modest size, and the
// members that the relay reads must be strings.
class JsonBody {
public:
    static constexpr qsizetype maxSize = 16 * 1024;

    // The object, or ContentType, BodyTooLarge or MalformedJson.
    static Outcome<QJsonObject> read(const QByteArray& contentType, const QByteArray& body);

    // A string member: true with `*value` set, true with `*value` empty when
    // the member is absent (or null) and not required, false when it has
    // another type or is required and missing.
    static bool text(const QJsonObject& object, const QString& key, bool required,
                     std::optional<QString>* value);
};

} // namespace parlova::relay
