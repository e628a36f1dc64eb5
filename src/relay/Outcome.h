#pragma once

#include <QString>

#include <concepts>
#include <type_traits>
#include <utility>
#include <variant>

namespace parlova::relay {

// Why the relay says no to a request, whatever the route: a closed list that
// only the HTTP layer turns into statuses and error codes, so that the
// services never speak HTTP.
enum class Refusal {
    // The request's JSON object.
    ContentType,
    BodyTooLarge,
    MalformedJson,
    // The session and the account.
    SignedOut,
    InvalidEmail,
    InvalidReferral,
    InvalidOffer,
    UnknownAccount,
    // Sign-in by code.
    TooManyCodes,
    TooManyGuesses,
    CodeExpired,
    WrongCode,
    // Subscriptions.
    InvalidPeriod,
    PaymentsUnavailable,
    AlreadySubscribed,
    NotSubscribed,
    // Dictation.
    WeeklyCapReached,
    TakeTooLong,
    UnreadableAudio,
    EngineMisconfigured,
    TranscriptionFailed,
    // The relay's own pages.
    PageExpired,
    UnknownInvitation,
    UnknownAction,
    // The control routes.
    InvalidStatus,
};

// A refusal with what the client needs to act on it.
struct Refused {
    Refusal why;
    qint64 waitSeconds = 0; // TooManyCodes, TooManyGuesses
    qint64 triesLeft = 0;   // WrongCode
    qint64 resetsAt = 0;    // WeeklyCapReached: when the week's count starts again

    Refused(Refusal reason)
        : why(reason) {}

    static Refused waiting(Refusal reason, qint64 seconds) {
        Refused refused(reason);
        refused.waitSeconds = seconds;
        return refused;
    }
};

// What tells a failure from a value: it makes a Failure and no T.
template <typename F, typename T, typename Failure>
concept FailureOf = std::constructible_from<Failure, F> && !std::constructible_from<T, F>;

// The value of a step that has nothing else to give.
struct Done {};

// How every step of the relay ends: its value, or why it has none. A
// service's failure is a Refused; a start-up step's is a French message for
// whoever runs the relay (see Started); a step inside a service may name its
// own (AudioDecoder::Failure, EngineFailure), which the service turns into a
// Refusal. Faults that no caller can act on (StorageError) stay exceptions.
template <typename T, typename Failure = Refused>
class [[nodiscard]] Outcome {
public:
    Outcome(T value)
        : m_state(std::in_place_index<0>, std::move(value)) {}

    template <FailureOf<T, Failure> F>
    Outcome(F&& failure)
        : m_state(std::in_place_index<1>, Failure(std::forward<F>(failure))) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& operator*() { return std::get<0>(m_state); }
    const T& operator*() const { return std::get<0>(m_state); }
    T* operator->() { return &std::get<0>(m_state); }
    const T* operator->() const { return &std::get<0>(m_state); }

    const Failure& failure() const { return std::get<1>(m_state); }

private:
    std::variant<T, Failure> m_state;
};

// A start-up step: done, or the French message that main prints before
// exiting with 1.
using Started = Outcome<Done, QString>;

} // namespace parlova::relay
