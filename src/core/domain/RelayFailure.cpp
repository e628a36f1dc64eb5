#include "core/domain/RelayFailure.h"

#include "core/domain/RelayJSON.h"
#include "core/texts/Catalog.h"
#include "protocol/ErrorCode.h"
#include "protocol/Member.h"

#include <algorithm>
#include <iterator>
#include <limits>

using namespace Qt::StringLiterals;

namespace parlova::core {

namespace {

// A base-10 integer with an optional sign, nothing else; none on overflow.
std::optional<qint64> parseInteger(QStringView text) {
    qsizetype at = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        at = 1;
    }
    if (at == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        // Accumulate negatively so that the smallest 64-bit value still fits.
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<qint64>::min())
            return std::nullopt;
        value = -value;
    }
    return value;
}

// The "Retry-After" header as a number of seconds; an HTTP date gives none.
std::optional<qint64> retryAfterSeconds(const std::optional<QString>& header) {
    if (!header)
        return std::nullopt;
    QStringView text(*header);
    while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
    return parseInteger(text);
}

// The catch-all of the status table.
RelayFailure byDefault(int status) {
    return status >= 500 ? RelayFailure::unavailable() : RelayFailure::unexpectedResponse(status);
}

QString number(qint64 value) {
    return QString::number(value);
}

struct CaseInfo {
    const char* name; // as the command line prints it
    const char* key;  // of the message in the catalog
};

// In the order of RelayFailure::Kind.
constexpr CaseInfo caseInfos[] = {
    {"quotaReached", "relay.quotaReached"},
    {"wrongCode", "relay.wrongCode.none"},
    {"tooManyCodes", "relay.tooManyCodes"},
    {"tooManyAttempts", "relay.tooManyAttempts"},
    {"unexpectedResponse", "relay.unexpectedResponse"},
    {"signedOut", "relay.signedOut"},
    {"invalidEmail", "relay.invalidEmail"},
    {"unknownReferral", "relay.unknownReferral"},
    {"codeExpired", "relay.codeExpired"},
    {"emailNotSent", "relay.emailNotSent"},
    {"alreadySubscribed", "relay.alreadySubscribed"},
    {"noSubscription", "relay.noSubscription"},
    {"paymentUnavailable", "relay.paymentUnavailable"},
    {"tooLarge", "relay.tooLarge"},
    {"misconfigured", "relay.misconfigured"},
    {"unavailable", "relay.unavailable"},
    {"timedOut", "relay.timedOut"},
    {"offline", "relay.offline"},
};
static_assert(std::size(caseInfos) == std::size_t(RelayFailure::Kind::offline) + 1);

const CaseInfo& caseInfo(RelayFailure::Kind kind) {
    return caseInfos[std::size_t(kind)];
}

} // namespace

RelayFailure::Details RelayFailure::Details::fromBody(const QByteArray& body) {
    Details details;
    const Decoded<QJsonValue> root = RelayJSON::parse(body);
    if (!root || !root->isObject())
        return details;
    const QJsonObject object = root->toObject();

    const QJsonValue code = object.value(protocol::Member::error);
    if (code.isString())
        details.code = code.toString();
    details.wait = RelayJSON::integer(object.value(protocol::Member::wait));
    details.attemptsLeft = RelayJSON::integer(object.value(protocol::Member::attemptsLeft));
    const QJsonValue reset = object.value(protocol::Member::resetsAt);
    if (reset.isString())
        details.quotaResetAt = RelayJSON::date(reset.toString());
    return details;
}

RelayFailure RelayFailure::quotaReached(const QDateTime& resetsAt) {
    return RelayFailure(Kind::quotaReached, 0, resetsAt.toUTC());
}

RelayFailure RelayFailure::wrongCode(qint64 attemptsLeft) {
    return RelayFailure(Kind::wrongCode, std::max<qint64>(attemptsLeft, 0));
}

RelayFailure RelayFailure::tooManyCodes(qint64 retryAfter) {
    return RelayFailure(Kind::tooManyCodes, retryAfter);
}

RelayFailure RelayFailure::tooManyAttempts(qint64 retryAfter) {
    return RelayFailure(Kind::tooManyAttempts, retryAfter);
}

RelayFailure RelayFailure::unexpectedResponse(int status) {
    return RelayFailure(Kind::unexpectedResponse, status);
}

RelayFailure RelayFailure::fromStatus(int status, const QByteArray& body,
                                      const std::optional<QString>& retryAfter) {
    if (status == 401)
        return signedOut();
    if (status == 413)
        return tooLarge();
    if (status == 504)
        return timedOut();

    const Details details = Details::fromBody(body);
    using Code = protocol::ErrorCode;
    // An unknown word takes the status's default like a missing one.
    const std::optional<Code> code = details.code ? Code::fromText(*details.code) : std::nullopt;
    switch (status) {
    case 400:
        if (code == Code::email)
            return invalidEmail();
        if (code == Code::referral)
            return unknownReferral();
        if (code == Code::wrongCode && details.attemptsLeft)
            return wrongCode(*details.attemptsLeft);
        if (code == Code::codeExpired)
            return codeExpired();
        break;
    case 402:
        if (code == Code::quota && details.quotaResetAt)
            return quotaReached(*details.quotaResetAt);
        break;
    case 409:
        if (code == Code::alreadySubscribed)
            return alreadySubscribed();
        if (code == Code::notSubscribed)
            return noSubscription();
        break;
    case 429: {
        const std::optional<qint64> wait =
            details.wait ? details.wait : retryAfterSeconds(retryAfter);
        if (code == Code::tooManyCodes && wait)
            return tooManyCodes(*wait);
        if (code == Code::tooManyGuesses && wait)
            return tooManyAttempts(*wait);
        break;
    }
    case 500:
        if (code == Code::configuration)
            return misconfigured();
        break;
    case 503:
        if (code == Code::emailNotSent)
            return emailNotSent();
        if (code == Code::paymentsUnavailable)
            return paymentUnavailable();
        break;
    default:
        break;
    }
    return byDefault(status);
}

std::optional<QDateTime> RelayFailure::resetsAt() const {
    if (m_kind != Kind::quotaReached)
        return std::nullopt;
    return m_date;
}

std::optional<qint64> RelayFailure::attemptsLeft() const {
    if (m_kind != Kind::wrongCode)
        return std::nullopt;
    return m_number;
}

std::optional<qint64> RelayFailure::retryAfter() const {
    if (m_kind != Kind::tooManyCodes && m_kind != Kind::tooManyAttempts)
        return std::nullopt;
    return m_number;
}

std::optional<int> RelayFailure::status() const {
    if (m_kind != Kind::unexpectedResponse)
        return std::nullopt;
    return static_cast<int>(m_number);
}

QString RelayFailure::message() const {
    switch (m_kind) {
    case Kind::wrongCode:
        if (m_number >= 2)
            return Catalog::text("relay.wrongCode.attempts", {number(m_number)});
        if (m_number == 1)
            return Catalog::text("relay.wrongCode.lastAttempt");
        return Catalog::text("relay.wrongCode.none");
    case Kind::tooManyCodes:
    case Kind::tooManyAttempts:
        return Catalog::text(caseInfo(m_kind).key, {delay(m_number)});
    default:
        return Catalog::text(caseInfo(m_kind).key);
    }
}

QString RelayFailure::caseText() const {
    const QString name = QLatin1StringView(caseInfo(m_kind).name);
    switch (m_kind) {
    case Kind::quotaReached:
        return name +
               u"(resetsAt: %1 +0000)"_s.arg(m_date.toUTC().toString(u"yyyy-MM-dd HH:mm:ss"_s));
    case Kind::wrongCode:
        return name + u"(attemptsLeft: %1)"_s.arg(m_number);
    case Kind::tooManyCodes:
    case Kind::tooManyAttempts:
        return name + u"(retryAfter: %1)"_s.arg(m_number);
    case Kind::unexpectedResponse:
        return name + u"(status: %1)"_s.arg(m_number);
    default:
        return name;
    }
}

QString RelayFailure::delay(qint64 seconds) {
    // Rounded up for positive waits; zero and negative waits truncate.
    const qint64 minutes = seconds / 60 + (seconds > 0 && seconds % 60 != 0 ? 1 : 0);
    if (minutes > 59) {
        const qint64 hours = minutes / 60 + (minutes % 60 != 0 ? 1 : 0);
        if (hours == 1)
            return Catalog::text("delay.oneHour");
        return Catalog::text("delay.hours", {number(hours)});
    }
    if (minutes >= 2)
        return Catalog::text("delay.minutes", {number(minutes)});
    return Catalog::text("delay.oneMinute");
}

} // namespace parlova::core
