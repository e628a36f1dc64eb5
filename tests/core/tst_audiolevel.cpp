#include "core/AudioLevel.h"
#include "core/SoundCheck.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using parlova::core::AudioLevel;
using parlova::core::SoundCheck;

namespace {

constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

std::vector<float> sine(float amplitude, int length) {
    std::vector<float> samples(length);
    for (int i = 0; i < length; ++i)
        samples[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * i / 64.0));
    return samples;
}

} // namespace

class TestAudioLevel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decibelsOfKnownRuns() {
        const std::pair<std::vector<float>, float> rows[] = {
            {{}, -160.0f},
            {std::vector<float>(1024, 1.0f), 0.0f},
            {std::vector<float>(1024, 0.001f), -60.0f},
            {sine(0.5f, 1024), -9.0309f},
            {std::vector<float>(1024, 1e-9f), -160.0f}, // below the floor
            {{0.5f, notANumber, 0.5f}, -160.0f},
            {{0.5f, infinity}, -160.0f},
            {std::vector<float>(16, 1e30f), -160.0f}, // the squares overflow
        };
        for (const auto& [samples, expected] : rows) {
            const float level = AudioLevel::decibels(samples);
            QVERIFY2(std::abs(level - expected) < 1e-3f, qPrintable(QString::number(level)));
        }
    }

    // Linear over the fifty decibels above the silence threshold.
    void gauge() {
        const std::pair<float, float> rows[] = {{-60.0f, 0.0f},     {-59.0f, 0.02f},
                                                {-35.0f, 0.5f},     {-10.0f, 1.0f},
                                                {notANumber, 0.0f}, {infinity, 1.0f}};
        for (const auto& [decibels, expected] : rows)
            QCOMPARE(AudioLevel::gauge(decibels), expected);
    }

    // The threshold itself is silence, for the check and on the meter; NaN
    // levels are ignored; the loudest level is kept.
    void soundCheck() {
        SoundCheck check;
        QCOMPARE(check.loudestDecibels(), -160.0f);
        const float threshold = AudioLevel::decibels(std::vector<float>(1024, 0.001f));
        check.record(threshold);
        check.record(notANumber);
        QVERIFY(!check.heardSound());
        QCOMPARE(AudioLevel::gauge(threshold), 0.0f);
        check.record(-59.9f);
        QVERIFY(check.heardSound());
        check.record(-20.0f);
        check.record(-40.0f);
        check.record(notANumber);
        QCOMPARE(check.loudestDecibels(), -20.0f);

        SoundCheck fresh;
        fresh.record(notANumber);
        fresh.record(-160.0f);
        QCOMPARE(fresh, SoundCheck());
    }
};

QTEST_GUILESS_MAIN(TestAudioLevel)
#include "tst_audiolevel.moc"
