#pragma once

#include <span>

namespace parlova::core {

// Levels in decibels relative to full scale (a full-scale square wave is
// 0 dB), in 32-bit float like the samples they come from. The take writer
// measures every captured buffer, the silence test and the pill's meter read
// the result.
class AudioLevel {
public:
    AudioLevel() = delete;

    // Silence, an empty run and anything quieter or unmeasurable.
    static constexpr float floorDecibels = -160.0f;
    // At or below this a take counts as silent and the meter shows nothing.
    static constexpr float silenceDecibels = -60.0f;

    // Mean-power level of a run of samples, never below the floor. A run whose
    // power is not a finite positive number (silence, NaN, infinities) is at
    // the floor: broken samples must neither pass the silence test nor pin
    // the meter.
    static float decibels(std::span<const float> samples);

    // The loudest channel of interleaved frames, each channel measured as
    // decibels() measures a run. A partial last frame is ignored.
    static float loudestChannelDecibels(std::span<const float> interleaved, int channelCount);

    // Meter value in 0...1, linear in decibels from -60 dB (0) to -10 dB (1).
    static float gauge(float decibels);
};

} // namespace parlova::core
