#pragma once

#include "core/media/AudioLevel.h"

namespace parlova::core {

// The loudest level of a take, and whether the take held any sound at all, so
// that a silent take is refused before it is uploaded.
class SoundCheck {
public:
    SoundCheck() = default;

    float loudestDecibels() const { return m_loudestDecibels; }

    // Keeps the louder of the current loudest level and this one; NaN is
    // never louder.
    void record(float decibels);

    // Strictly above the silence threshold: a take peaking at exactly
    // -60 dB is silent.
    bool heardSound() const;

    friend bool operator==(const SoundCheck&, const SoundCheck&) = default;

private:
    float m_loudestDecibels = AudioLevel::floorDecibels;
};

} // namespace parlova::core
