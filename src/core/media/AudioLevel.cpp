#include "core/media/AudioLevel.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace parlova::core {

namespace {

constexpr float meterRangeDecibels = 50.0f;

} // namespace

float AudioLevel::decibels(std::span<const float> samples) {
    return loudestChannelDecibels(samples, 1);
}

float AudioLevel::loudestChannelDecibels(std::span<const float> interleaved, int channelCount) {
    if (channelCount < 1)
        return floorDecibels;
    const auto channels = static_cast<std::size_t>(channelCount);
    const std::size_t frames = interleaved.size() / channels;
    if (frames == 0)
        return floorDecibels;
    // Squares, means and logarithms are 32-bit float; only the running sums
    // are wider, because a float sum drifts over a long run (1024 samples of
    // 0.001 would read -59.99998 dB and pass for sound).
    float loudest = floorDecibels;
    for (std::size_t channel = 0; channel < channels; ++channel) {
        // Independent partial sums let the additions overlap.
        std::array<double, 4> partial{};
        std::size_t frame = 0;
        for (; frame + partial.size() <= frames; frame += partial.size()) {
            for (std::size_t lane = 0; lane < partial.size(); ++lane) {
                const float sample = interleaved[(frame + lane) * channels + channel];
                partial[lane] += sample * sample;
            }
        }
        for (; frame < frames; ++frame) {
            const float sample = interleaved[frame * channels + channel];
            partial[0] += sample * sample;
        }
        const double sum = (partial[0] + partial[1]) + (partial[2] + partial[3]);
        const auto meanSquare = static_cast<float>(sum / static_cast<double>(frames));
        // Written so that NaN is skipped too.
        if (meanSquare > 0.0f && std::isfinite(meanSquare))
            loudest = std::max(loudest, 10.0f * std::log10(meanSquare));
    }
    return loudest;
}

float AudioLevel::gauge(float decibels) {
    const float value = (decibels - silenceDecibels) / meterRangeDecibels;
    // Written so that NaN lands here too.
    if (!(value >= 0.0f))
        return 0.0f;
    return std::min(value, 1.0f);
}

} // namespace parlova::core
