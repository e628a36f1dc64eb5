#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace parlova::core {

// Every way an exchange with the relay can fail, as one closed set of cases.
// Refusals come from an HTTP status and the relay's JSON error body; the
// transport reports its own problems as timedOut, offline or unavailable. The rest of the program
// decides on kind() and shows message().
class RelayFailure {
public:
    enum class Kind {
        quotaReached,       // carries resetsAt
        wrongCode,          // carries attemptsLeft, never negative
        tooManyCodes,       // carries retryAfter (seconds)
        tooManyAttempts,    // carries retryAfter (seconds)
        unexpectedResponse, // carries status (0 when there was no HTTP status)
        signedOut,
        invalidEmail,
        unknownReferral,
        codeExpired,
        emailNotSent,
        alreadySubscribed,
        noSubscription,
        paymentUnavailable,
        tooLarge,
        misconfigured,
        unavailable,
        timedOut,
        offline,
    };

    // The relay's JSON error body. Each field is read on its own: a missing
    // key, a wrong JSON type or an unreadable date leaves only that field empty.
    struct Details {
        std::optional<QString> code;           // "erreur"
        std::optional<qint64> wait;            // "attente", seconds
        std::optional<qint64> attemptsLeft;    // "essaisRestants"
        std::optional<QDateTime> quotaResetAt; // "reinitialisation"

        // Anything that is not a JSON object (empty, HTML, truncated) gives no field.
        static Details fromBody(const QByteArray& body);

        friend bool operator==(const Details&, const Details&) = default;
    };

    static RelayFailure quotaReached(const QDateTime& resetsAt);
    // A negative count is taken as 0.
    static RelayFailure wrongCode(qint64 attemptsLeft);
    static RelayFailure tooManyCodes(qint64 retryAfter);
    static RelayFailure tooManyAttempts(qint64 retryAfter);
    static RelayFailure unexpectedResponse(int status);
    static RelayFailure signedOut() { return RelayFailure(Kind::signedOut); }
    static RelayFailure invalidEmail() { return RelayFailure(Kind::invalidEmail); }
    static RelayFailure unknownReferral() { return RelayFailure(Kind::unknownReferral); }
    static RelayFailure codeExpired() { return RelayFailure(Kind::codeExpired); }
    static RelayFailure emailNotSent() { return RelayFailure(Kind::emailNotSent); }
    static RelayFailure alreadySubscribed() { return RelayFailure(Kind::alreadySubscribed); }
    static RelayFailure noSubscription() { return RelayFailure(Kind::noSubscription); }
    static RelayFailure paymentUnavailable() { return RelayFailure(Kind::paymentUnavailable); }
    static RelayFailure tooLarge() { return RelayFailure(Kind::tooLarge); }
    static RelayFailure misconfigured() { return RelayFailure(Kind::misconfigured); }
    static RelayFailure unavailable() { return RelayFailure(Kind::unavailable); }
    static RelayFailure timedOut() { return RelayFailure(Kind::timedOut); }
    static RelayFailure offline() { return RelayFailure(Kind::offline); }

    // From an HTTP status other than the expected one, the response body and
    // the raw "Retry-After" header (none when the header is missing).
    static RelayFailure fromStatus(int status, const QByteArray& body,
                                   const std::optional<QString>& retryAfter = std::nullopt);

    Kind kind() const { return m_kind; }

    // The carried values; none for the cases that do not carry them.
    std::optional<QDateTime> resetsAt() const;
    std::optional<qint64> attemptsLeft() const;
    std::optional<qint64> retryAfter() const;
    std::optional<int> status() const;

    // The user-facing French sentence, from the message catalog.
    QString message() const;

    // The case name, with its labelled value for cases that carry one:
    // "signedOut", "wrongCode(attemptsLeft: 2)",
    // "quotaReached(resetsAt: 2026-01-05 00:00:00 +0000)". For the command line.
    QString caseText() const;

    // The French phrase for a waiting time, always rounded up: "1 minute",
    // "59 minutes", "1 heure", "2 heures".
    static QString delay(qint64 seconds);

    friend bool operator==(const RelayFailure&, const RelayFailure&) = default;

private:
    explicit RelayFailure(Kind kind, qint64 number = 0, const QDateTime& date = {})
        : m_kind(kind)
        , m_number(number)
        , m_date(date) {}

    Kind m_kind;
    qint64 m_number = 0; // attempts, seconds or status, by case
    QDateTime m_date;    // reset date of quotaReached, always in UTC
};

} // namespace parlova::core
