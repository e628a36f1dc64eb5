#pragma once

#include "core/domain/RelayFailure.h"

#include <QString>

#include <optional>

namespace parlova::core {

// Every reason why a press of the hold key does not end with text at the
// cursor, with the short sentence the pill shows and which window, if any,
// the failure calls for.
class DictationFailure {
public:
    enum class Kind {
        relay,                   // the relay call failed; see relayFailure()
        microphoneDenied,        // no usable microphone, or access refused
        microphoneNotDetermined, // the microphone was never asked for
        accessibilityMissing,    // keys cannot be watched nor text pasted
        recordingFailed,         // the microphone failed to start
        noSound,                 // the take stayed below the silence threshold
        noSpeech,                // the relay heard no words
        insertionFailed,         // the paste shortcut could not be synthesized
    };

    static DictationFailure relay(const RelayFailure& failure) { return DictationFailure(failure); }
    static DictationFailure microphoneDenied() { return DictationFailure(Kind::microphoneDenied); }
    static DictationFailure microphoneNotDetermined() {
        return DictationFailure(Kind::microphoneNotDetermined);
    }
    static DictationFailure accessibilityMissing() {
        return DictationFailure(Kind::accessibilityMissing);
    }
    static DictationFailure recordingFailed() { return DictationFailure(Kind::recordingFailed); }
    static DictationFailure noSound() { return DictationFailure(Kind::noSound); }
    static DictationFailure noSpeech() { return DictationFailure(Kind::noSpeech); }
    static DictationFailure insertionFailed() { return DictationFailure(Kind::insertionFailed); }

    Kind kind() const { return m_kind; }
    // The wrapped relay failure, present exactly for Kind::relay.
    const std::optional<RelayFailure>& relayFailure() const { return m_relay; }

    // The relay failure's own message for Kind::relay, else the catalog text.
    QString message() const;
    // Permissions or sign-in are missing: the welcome window helps.
    bool opensWelcome() const;
    // The weekly quota is used up: the Pro window helps.
    bool opensPro() const;

    // The case name, "noSound" or "relay(wrongCode(attemptsLeft: 2))".
    QString caseText() const;

    friend bool operator==(const DictationFailure&, const DictationFailure&) = default;

private:
    explicit DictationFailure(Kind kind)
        : m_kind(kind) {}
    explicit DictationFailure(const RelayFailure& failure)
        : m_kind(Kind::relay)
        , m_relay(failure) {}

    Kind m_kind;
    std::optional<RelayFailure> m_relay;
};

} // namespace parlova::core
