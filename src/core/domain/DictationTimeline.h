#pragma once

#include <QString>

#include <array>
#include <chrono>
#include <optional>

namespace parlova::core {

// When each step of one dictation happened, from the key's release to the
// clipboard given back, on the monotonic clock. Read by the debug log and
// the release-to-text bench; it never holds the words.
class DictationTimeline {
public:
    using Clock = std::chrono::steady_clock;

    enum class Stage {
        released,
        takeClosed,
        handedToNetwork,
        firstByte,
        answerDecoded,
        clipboardSet,
        pasteSent,
        clipboardRestored,
    };
    static constexpr int stageCount = 8;

    // The first mark of a stage counts: a handshake retried keeps the
    // request's first hand-over.
    void mark(Stage stage);

    // Milliseconds from the release to the stage, when both happened.
    std::optional<double> sinceRelease(Stage stage) const;

    static QString name(Stage stage);
    // "prise fermée +3.1 ms, …": every stage reached, for the debug log.
    QString summary() const;

private:
    std::array<std::optional<Clock::time_point>, stageCount> m_marks;
};

} // namespace parlova::core
