#pragma once

#include <QLatin1StringView>
#include <QStringView>

#include <optional>

namespace parlova::protocol {

// The code of the relay's JSON error body ("erreur"); the status that goes
// with each is the relay's decision, the meaning the client's.
class ErrorCode {
public:
    enum Value {
        headers,  // the request's headers are too large
        request,  // an HTTP request that cannot be read
        length,   // a dictation without a declared length
        size,     // a body over its limit
        notFound, // no such API path
        control,  // a control route from outside
        internal,
        session, // no valid session token
        form,    // a dictation form that cannot be read
        contentType,
        language,       // a dictation language the relay does not know
        method,         // a path that does not take this method
        code,           // no code waiting (control)
        engine,         // the engine is not the test engine (control)
        advance,        // a clock step that is not a count of seconds (control)
        json,           // a body that is not a JSON object
        email,          // an address that is not one
        referral,       // an unknown referral code
        offer,          // an unknown offer (control)
        account,        // an unknown account (control)
        tooManyCodes,   // with "attente"
        tooManyGuesses, // with "attente"
        codeExpired,
        wrongCode, // with "essaisRestants"
        period,    // an unknown subscription period
        paymentsUnavailable,
        alreadySubscribed,
        notSubscribed,
        quota,         // the weekly cap, with "reinitialisation"
        duration,      // a take over the longest dictation
        audio,         // a take that cannot be decoded
        configuration, // the engine is misconfigured
        transcription, // the engine failed
        status,        // an unknown subscription status (control)
        emailNotSent,  // the code's mail could not be sent
    };

    constexpr ErrorCode(Value value)
        : m_value(value) {}

    // Exact, case-sensitive; any other word gives none.
    static std::optional<ErrorCode> fromText(QStringView text);

    constexpr Value value() const { return m_value; }
    // "code-faux", ...
    QLatin1StringView text() const;

    friend constexpr bool operator==(ErrorCode, ErrorCode) = default;

private:
    Value m_value;
};

} // namespace parlova::protocol
