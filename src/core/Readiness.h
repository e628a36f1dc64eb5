#pragma once

#include "core/DictationFailure.h"

#include <optional>

namespace parlova::core {

// The three things a take needs before it may start, and which one is missing.
struct Readiness {
    enum class Microphone { granted, notDetermined, denied };

    bool signedIn = false;
    Microphone microphone = Microphone::notDetermined;
    bool accessibility = false; // keys may be watched and the paste posted

    // The first reason that prevents dictation: sign-in, then the microphone,
    // then accessibility; none when everything is in place.
    std::optional<DictationFailure> blocker() const;

    friend bool operator==(const Readiness&, const Readiness&) = default;
};

} // namespace parlova::core
