#pragma once

#include "protocol/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>
#include <variant>

namespace parlova::protocol {

// Why a relay answer could not be read. The description is French; the path
// names the JSON member concerned ("semaine.mots"), empty for the whole body.
struct DecodingError {
    QString path;
    QString description;

    // "semaine.mots : Nombre entier attendu.", or the description alone.
    QString text() const;

    friend bool operator==(const DecodingError&, const DecodingError&) = default;
};

// A decoded value or the reason why there is none.
template <typename T>
using Decoded = Result<T, DecodingError>;

// The relay's JSON reading convention, shared by every answer of the relay.
//
// Dates are strings in ISO 8601 extended form, with or without fractional
// seconds ("2026-03-02T09:30:00Z", "2026-03-02T09:30:00.250Z"); counts and
// prices are JSON numbers holding integers. Any other shape is a decoding
// failure, never a guess.
class RelayJSON {
public:
    RelayJSON() = delete;

    static inline const QString dateExpected = QStringLiteral("Date ISO 8601 attendue.");

    // A relay date as a UTC QDateTime: "YYYY-MM-DDTHH:MM:SS", optional "." and
    // fraction digits, then "Z" or a numeric offset (+HHMM, +HH:MM also read).
    static std::optional<QDateTime> date(QStringView text);
    // The form the relay writes: UTC, whole seconds, "2026-03-02T09:30:00Z".
    static QString dateText(const QDateTime& instant);

    // The value of a JSON number that holds an integer within 64 bits; none for
    // a fractional number, a string, a boolean or anything else.
    static std::optional<qint64> integer(const QJsonValue& value);

    // The root of a JSON document; a failure for anything that does not parse.
    static Decoded<QJsonValue> parse(const QByteArray& bytes);

    class Reader;
    // A record from a JSON object with its T::read(Reader&).
    template <typename T>
    static Decoded<T> decode(const QJsonValue& value);

    // Reads the members of one JSON object in order. The first failure is kept
    // and every later read is a no-op returning an empty value, so a decoder can
    // read all its fields and check failed() once; readers made by object()
    // share their parent's failure.
    class Reader {
    public:
        // A non-object value fails at once.
        explicit Reader(const QJsonValue& value, const QString& path = {});

        QString string(QLatin1StringView key);
        qint64 integer(QLatin1StringView key);
        bool boolean(QLatin1StringView key);
        QDateTime date(QLatin1StringView key);
        Reader object(QLatin1StringView key);
        // Absent or null gives none; any other non-matching value fails.
        std::optional<qint64> optionalInteger(QLatin1StringView key);
        std::optional<QDateTime> optionalDate(QLatin1StringView key);

        // Absent or JSON null.
        bool isAbsent(QLatin1StringView key) const;
        QJsonValue value(QLatin1StringView key) const { return m_object.value(key); }
        QString pathOf(QLatin1StringView key) const;

        // Records a failure unless one is already recorded.
        void fail(QLatin1StringView key, const QString& description);
        bool failed() const { return m_error->has_value(); }
        const DecodingError& error() const { return **m_error; }

        // The value, or the recorded failure.
        template <typename T>
        Decoded<T> finish(T value) const {
            if (failed())
                return error();
            return Decoded<T>(std::move(value));
        }

    private:
        Reader(const QJsonValue& value, const QString& path,
               std::shared_ptr<std::optional<DecodingError>> error);
        // The member when it can be read: not after a failure, and present.
        std::optional<QJsonValue> required(QLatin1StringView key);

        std::shared_ptr<std::optional<DecodingError>> m_error;
        QJsonObject m_object;
        QString m_path;
    };
};

template <typename T>
Decoded<T> RelayJSON::decode(const QJsonValue& value) {
    Reader reader(value);
    T record = T::read(reader);
    return reader.finish(std::move(record));
}

// An address the program may open or show as a web page: scheme "https"
// (any case) and a host that is not empty.
bool isSecureWebPage(const QUrl& url);

} // namespace parlova::protocol
