#pragma once

#include "core/Result.h"
#include "core/domain/DictationFailure.h"

namespace parlova::core {

// The three things a take needs before it may start, and which one is missing.
struct Readiness {
    enum class Microphone { granted, notDetermined, denied };

    bool signedIn = false;
    Microphone microphone = Microphone::notDetermined;
    bool accessibility = false; // keys may be watched and the paste posted

    // Succeeds when everything is in place; else fails with the first reason
    // that prevents dictation: sign-in, then the microphone, then accessibility.
    Done<DictationFailure> check() const;

    friend bool operator==(const Readiness&, const Readiness&) = default;
};

} // namespace parlova::core
