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
    void decibelsOfKnownRuns_data() {
        QTest::addColumn<std::vector<float>>("samples");
        QTest::addColumn<float>("expected");
        QTest::newRow("empty") << std::vector<float>{} << -160.0f;
        QTest::newRow("digital silence") << std::vector<float>(1024, 0.0f) << -160.0f;
        QTest::newRow("constant full scale") << std::vector<float>(1024, 1.0f) << 0.0f;
        QTest::newRow("full-scale square") << std::vector<float>{1, -1, 1, -1} << 0.0f;
        QTest::newRow("constant 0.001") << std::vector<float>(1024, 0.001f) << -60.0f;
        QTest::newRow("full-scale sine") << sine(1.0f, 1024) << -3.0103f;
        QTest::newRow("half-scale sine") << sine(0.5f, 1024) << -9.0309f;
        QTest::newRow("below the floor") << std::vector<float>(1024, 1e-9f) << -160.0f;
        QTest::newRow("one sample") << std::vector<float>{-0.1f} << -20.0f;
        QTest::newRow("NaN among samples") << std::vector<float>{0.5f, notANumber, 0.5f} << -160.0f;
        QTest::newRow("infinity among samples") << std::vector<float>{0.5f, infinity} << -160.0f;
        QTest::newRow("squares overflow") << std::vector<float>(16, 1e30f) << -160.0f;
    }
    void decibelsOfKnownRuns() {
        QFETCH(std::vector<float>, samples);
        QFETCH(float, expected);
        const float level = AudioLevel::decibels(samples);
        QVERIFY2(std::abs(level - expected) < 1e-3f, qPrintable(QString::number(level)));
    }

    void gaugeIsLinearOverFiftyDecibels_data() {
        QTest::addColumn<float>("decibels");
        QTest::addColumn<float>("expected");
        QTest::newRow("floor") << -160.0f << 0.0f;
        QTest::newRow("threshold") << -60.0f << 0.0f;
        QTest::newRow("just above threshold") << -59.0f << 0.02f;
        QTest::newRow("middle") << -35.0f << 0.5f;
        QTest::newRow("top of scale") << -10.0f << 1.0f;
        QTest::newRow("full scale") << 0.0f << 1.0f;
        QTest::newRow("NaN") << notANumber << 0.0f;
        QTest::newRow("minus infinity") << -infinity << 0.0f;
        QTest::newRow("plus infinity") << infinity << 1.0f;
    }
    void gaugeIsLinearOverFiftyDecibels() {
        QFETCH(float, decibels);
        QFETCH(float, expected);
        QCOMPARE(AudioLevel::gauge(decibels), expected);
    }

    void silenceThresholdIsExclusive() {
        SoundCheck check;
        QVERIFY(!check.heardSound());
        QCOMPARE(check.loudestDecibels(), -160.0f);
        check.record(-60.0f);
        QVERIFY(!check.heardSound());
        check.record(-59.9f);
        QVERIFY(check.heardSound());

        // A run at the threshold is silent for the check and dark on the meter.
        SoundCheck atThreshold;
        const float level = AudioLevel::decibels(std::vector<float>(1024, 0.001f));
        atThreshold.record(level);
        QVERIFY(!atThreshold.heardSound());
        QCOMPARE(AudioLevel::gauge(level), 0.0f);
    }

    void loudestIsKept() {
        SoundCheck check;
        check.record(-20.0f);
        check.record(-40.0f);
        QCOMPARE(check.loudestDecibels(), -20.0f);
        check.record(notANumber);
        QCOMPARE(check.loudestDecibels(), -20.0f);

        SoundCheck fresh;
        fresh.record(notANumber);
        QCOMPARE(fresh, SoundCheck());
        fresh.record(-160.0f);
        QCOMPARE(fresh, SoundCheck());
        QVERIFY(fresh != check);
    }
};

QTEST_GUILESS_MAIN(TestAudioLevel)
#include "tst_audiolevel.moc"
