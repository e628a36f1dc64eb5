#include "protocol/RelayJSON.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTime>

namespace parlova::protocol {

namespace {

const QString valueMissing = QStringLiteral("Valeur absente.");
const QString textExpected = QStringLiteral("Texte attendu.");
const QString integerExpected = QStringLiteral("Nombre entier attendu.");
const QString booleanExpected = QStringLiteral("Booléen attendu.");
const QString objectExpected = QStringLiteral("Objet JSON attendu.");

// Reads digits at a fixed position; -1 when one of them is not an ASCII digit.
int digitsAt(QStringView text, qsizetype at, qsizetype count) {
    if (at + count > text.size())
        return -1;
    int result = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        result = result * 10 + (c - u'0');
    }
    return result;
}

bool charAt(QStringView text, qsizetype at, char16_t expected) {
    return at < text.size() && text[at].unicode() == expected;
}

} // namespace

QString DecodingError::text() const {
    if (path.isEmpty())
        return description;
    return path + QStringLiteral(" : ") + description;
}

std::optional<QDateTime> RelayJSON::date(QStringView text) {
    // YYYY-MM-DDTHH:MM:SS
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2);
    const int minute = digitsAt(text, 14, 2);
    const int second = digitsAt(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 ||
        !charAt(text, 4, u'-') || !charAt(text, 7, u'-') || !charAt(text, 10, u'T') ||
        !charAt(text, 13, u':') || !charAt(text, 16, u':'))
        return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const QDate calendarDay(year, month, day);
    if (!calendarDay.isValid())
        return std::nullopt;

    qsizetype at = 19;
    int milliseconds = 0;
    if (charAt(text, at, u'.')) {
        ++at;
        const qsizetype first = at;
        while (at < text.size() && text[at].unicode() >= u'0' && text[at].unicode() <= u'9') {
            // Milliseconds are the clock's resolution; further digits are dropped.
            if (at - first < 3)
                milliseconds += (text[at].unicode() - u'0') * (at - first == 0   ? 100
                                                               : at - first == 1 ? 10
                                                                                 : 1);
            ++at;
        }
        if (at == first)
            return std::nullopt;
    }

    int offsetSeconds = 0;
    if (charAt(text, at, u'Z')) {
        ++at;
    } else if (charAt(text, at, u'+') || charAt(text, at, u'-')) {
        const int sign = text[at].unicode() == u'-' ? -1 : 1;
        const int offsetHours = digitsAt(text, at + 1, 2);
        at += 3;
        if (charAt(text, at, u':'))
            ++at;
        const int offsetMinutes = digitsAt(text, at, 2);
        at += 2;
        if (offsetHours < 0 || offsetMinutes < 0 || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    } else {
        return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;

    const QDateTime local(calendarDay, QTime(hour, minute, second, milliseconds), Qt::UTC);
    return local.addSecs(-offsetSeconds);
}

QString RelayJSON::dateText(const QDateTime& instant) {
    return instant.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'"));
}

std::optional<qint64> RelayJSON::integer(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    // toInteger() answers its default for a fractional or out-of-range number;
    // two different defaults tell that apart from a real value.
    const qint64 first = value.toInteger(0);
    if (first != value.toInteger(1))
        return std::nullopt;
    return first;
}

Decoded<QJsonValue> RelayJSON::parse(const QByteArray& bytes) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return DecodingError{{},
                             QStringLiteral("JSON illisible (octet %1).").arg(parseError.offset)};
    if (document.isObject())
        return QJsonValue(document.object());
    if (document.isArray())
        return QJsonValue(document.array());
    return DecodingError{{}, objectExpected};
}

RelayJSON::Reader::Reader(const QJsonValue& value, const QString& path)
    : Reader(value, path, std::make_shared<std::optional<DecodingError>>()) {}

RelayJSON::Reader::Reader(const QJsonValue& value, const QString& path,
                          std::shared_ptr<std::optional<DecodingError>> error)
    : m_error(std::move(error))
    , m_path(path) {
    if (value.isObject())
        m_object = value.toObject();
    else if (!m_error->has_value())
        *m_error = DecodingError{path, value.isUndefined() || value.isNull() ? valueMissing
                                                                             : objectExpected};
}

QString RelayJSON::Reader::pathOf(QLatin1StringView key) const {
    if (m_path.isEmpty())
        return QString(key);
    return m_path + u'.' + key;
}

void RelayJSON::Reader::fail(QLatin1StringView key, const QString& description) {
    if (!failed())
        *m_error = DecodingError{pathOf(key), description};
}

bool RelayJSON::Reader::isAbsent(QLatin1StringView key) const {
    const QJsonValue member = m_object.value(key);
    return member.isUndefined() || member.isNull();
}

std::optional<QJsonValue> RelayJSON::Reader::required(QLatin1StringView key) {
    if (failed())
        return std::nullopt;
    if (isAbsent(key)) {
        fail(key, valueMissing);
        return std::nullopt;
    }
    return m_object.value(key);
}

QString RelayJSON::Reader::string(QLatin1StringView key) {
    const std::optional<QJsonValue> member = required(key);
    if (!member)
        return {};
    if (!member->isString()) {
        fail(key, textExpected);
        return {};
    }
    return member->toString();
}

qint64 RelayJSON::Reader::integer(QLatin1StringView key) {
    const std::optional<QJsonValue> member = required(key);
    if (!member)
        return 0;
    const std::optional<qint64> number = RelayJSON::integer(*member);
    if (!number) {
        fail(key, integerExpected);
        return 0;
    }
    return *number;
}

bool RelayJSON::Reader::boolean(QLatin1StringView key) {
    const std::optional<QJsonValue> member = required(key);
    if (!member)
        return false;
    if (!member->isBool()) {
        fail(key, booleanExpected);
        return false;
    }
    return member->toBool();
}

QDateTime RelayJSON::Reader::date(QLatin1StringView key) {
    const std::optional<QJsonValue> member = required(key);
    if (!member)
        return {};
    const std::optional<QDateTime> parsed =
        member->isString() ? RelayJSON::date(member->toString()) : std::nullopt;
    if (!parsed) {
        fail(key, dateExpected);
        return {};
    }
    return *parsed;
}

RelayJSON::Reader RelayJSON::Reader::object(QLatin1StringView key) {
    // After a failure the child reads nothing, so an empty object will do.
    const QJsonValue member = failed() ? QJsonValue(QJsonObject()) : m_object.value(key);
    return Reader(member, pathOf(key), m_error);
}

std::optional<qint64> RelayJSON::Reader::optionalInteger(QLatin1StringView key) {
    if (failed() || isAbsent(key))
        return std::nullopt;
    const std::optional<qint64> number = RelayJSON::integer(m_object.value(key));
    if (!number)
        fail(key, integerExpected);
    return number;
}

std::optional<QDateTime> RelayJSON::Reader::optionalDate(QLatin1StringView key) {
    if (failed() || isAbsent(key))
        return std::nullopt;
    const QDateTime parsed = date(key);
    if (failed())
        return std::nullopt;
    return parsed;
}

bool isSecureWebPage(const QUrl& url) {
    return url.isValid() &&
           url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
           !url.host().isEmpty();
}

} // namespace parlova::protocol
