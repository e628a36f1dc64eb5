#include "Rig.h"
#include "core/AudioLevel.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using parlova::core::AudioLevel;
using parlova::platform::QtAudioRecorder;
using parlova::platform::Recorder;

namespace {

// The rig's null sink: what plays into it is what the default microphone hears.
const QString rigSink = QStringLiteral("parlova_sortie");

bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << program << process.readAllStandardError();
        return false;
    }
    if (output != nullptr)
        *output = process.readAllStandardOutput();
    return true;
}

// Speaks into the rig's sink, as someone dictating would into the microphone.
bool speak(const QString& folder, const QString& sentence) {
    const QString voice = QDir(folder).filePath(QStringLiteral("voix.wav"));
    return run(QStringLiteral("espeak-ng"), {"-v", "fr", "-w", voice, sentence}) &&
           run(QStringLiteral("paplay"), {"-d", rigSink, voice});
}

// Plays one second of a generated sound (an ffmpeg "lavfi" source) into the
// rig's sink. Digital silence has to be played too: an idle sink is suspended
// and its monitor sends nothing, while a real microphone in a quiet room
// keeps sending buffers.
bool play(const QString& folder, const QString& source) {
    const QString sound = QDir(folder).filePath(QStringLiteral("son.wav"));
    return run(QStringLiteral("ffmpeg"),
               {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", source, "-t", "1", sound}) &&
           run(QStringLiteral("paplay"), {"-d", rigSink, sound});
}

std::vector<float> decoded(const QString& path) {
    QByteArray bytes;
    if (!run(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-i", path, "-f", "f32le", "-"},
             &bytes))
        return {};
    std::vector<float> samples(bytes.size() / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

float decodedLevel(const QString& path) {
    return AudioLevel::decibels(decoded(path));
}

// The frequency of the tone in a 16 kHz take, from its rising crossings
// (with some hysteresis, so that the encoder's noise in silence is ignored).
double toneFrequency(const std::vector<float>& samples) {
    std::vector<std::size_t> rises;
    bool low = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < -0.1f)
            low = true;
        else if (low && samples[i] > 0.1f) {
            rises.push_back(i);
            low = false;
        }
    }
    if (rises.size() < 100)
        return 0;
    return (rises.size() - 1) * 16000.0 / static_cast<double>(rises.back() - rises.front());
}

QJsonObject probeStream(const QString& path) {
    QByteArray json;
    run(QStringLiteral("ffprobe"),
        {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels", "-of", "json",
         path},
        &json);
    return QJsonDocument::fromJson(json)
        .object()[QLatin1String("streams")]
        .toArray()
        .at(0)
        .toObject();
}

QStringList takesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({QStringLiteral("parlova-*.m4a")}, QDir::Files);
}

float largest(const QSignalSpy& spy) {
    float result = 0;
    for (const QList<QVariant>& arguments : spy)
        result = std::max(result, arguments.at(0).toFloat());
    return result;
}

} // namespace

#define VERIFY_STARTED(recorder)                                                                   \
    do {                                                                                           \
        const auto failure = (recorder).start();                                                   \
        QVERIFY2(!failure, failure ? qPrintable(failure->message()) : "");                         \
    } while (false)

class TestRecorder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stopAndCancelWithoutTakeTouchNothing() {
        QTemporaryDir dir;
        QtAudioRecorder recorder(dir.path());
        QVERIFY(!recorder.isRecording());
        QVERIFY(!recorder.stop());
        recorder.cancel();
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void speechGivesATakeThatHeardSound() {
        PARLOVA_REQUIRE_RIG();
        QTemporaryDir dir, voices;
        QtAudioRecorder recorder(dir.path());
        QSignalSpy levels(&recorder, &Recorder::levelMeasured);
        VERIFY_STARTED(recorder);
        QVERIFY(recorder.isRecording());
        QCOMPARE(takesIn(dir).size(), 1);
        QCOMPARE(QFile::permissions(dir.filePath(takesIn(dir).at(0))),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        QVERIFY(speak(voices.path(), QStringLiteral("Bonjour, ceci est un essai de dictée.")));
        QTest::qWait(300);
        const std::optional<Recorder::Take> take = recorder.stop();
        QVERIFY(take);
        QVERIFY(!recorder.isRecording());
        QVERIFY2(take->soundCheck.heardSound(),
                 qPrintable(QString::number(take->soundCheck.loudestDecibels())));

        const QJsonObject stream = probeStream(take->path);
        QCOMPARE(stream[QLatin1String("codec_name")].toString(), QStringLiteral("aac"));
        QCOMPARE(stream[QLatin1String("sample_rate")].toString(), QStringLiteral("16000"));
        QCOMPARE(stream[QLatin1String("channels")].toInt(), 1);
        const float level = decodedLevel(take->path);
        QVERIFY2(level > -45.0f, qPrintable(QString::number(level)));

        // The meter moved while the voice played.
        QTRY_VERIFY(levels.size() > 20);
        QVERIFY(largest(levels) > 0.3f);
        QFile::remove(take->path);
    }

    void silenceGivesATakeThatHeardNothing() {
        PARLOVA_REQUIRE_RIG();
        QTemporaryDir dir, sounds;
        QtAudioRecorder recorder(dir.path());
        QSignalSpy levels(&recorder, &Recorder::levelMeasured);
        VERIFY_STARTED(recorder);
        QVERIFY(play(sounds.path(), QStringLiteral("anullsrc=r=44100:cl=stereo")));
        const std::optional<Recorder::Take> take = recorder.stop();
        QVERIFY(take);
        QVERIFY2(!take->soundCheck.heardSound(),
                 qPrintable(QString::number(take->soundCheck.loudestDecibels())));
        QCOMPARE(probeStream(take->path)[QLatin1String("sample_rate")].toString(),
                 QStringLiteral("16000"));
        QVERIFY(decodedLevel(take->path) <= AudioLevel::silenceDecibels);
        QTRY_VERIFY(!levels.isEmpty());
        QCOMPARE(largest(levels), 0.0f);
        QFile::remove(take->path);
    }

    // Capture is read at the device's own rate: a wrong rate would shift the
    // tone's pitch in the take.
    void aToneKeepsItsPitch() {
        PARLOVA_REQUIRE_RIG();
        QTemporaryDir dir, sounds;
        QtAudioRecorder recorder(dir.path());
        VERIFY_STARTED(recorder);
        QVERIFY(play(sounds.path(), QStringLiteral("sine=frequency=1000:sample_rate=44100")));
        const std::optional<Recorder::Take> take = recorder.stop();
        QVERIFY(take);
        const double frequency = toneFrequency(decoded(take->path));
        QVERIFY2(std::abs(frequency - 1000) < 5, qPrintable(QString::number(frequency)));
        QFile::remove(take->path);
    }

    void startDiscardsTheRunningTakeAndCancelDeletesIt() {
        PARLOVA_REQUIRE_RIG();
        QTemporaryDir dir;
        QtAudioRecorder recorder(dir.path());
        VERIFY_STARTED(recorder);
        const QStringList first = takesIn(dir);
        QCOMPARE(first.size(), 1);
        QTest::qWait(100);
        VERIFY_STARTED(recorder);
        const QStringList second = takesIn(dir);
        QCOMPARE(second.size(), 1);
        QVERIFY(second != first);
        QTest::qWait(100);
        recorder.cancel();
        QVERIFY(!recorder.isRecording());
        QVERIFY(takesIn(dir).isEmpty());
        QVERIFY(!recorder.stop());
    }

    void destroyingARecorderMidTakeLeavesNoFile() {
        PARLOVA_REQUIRE_RIG();
        QTemporaryDir dir;
        {
            QtAudioRecorder recorder(dir.path());
            VERIFY_STARTED(recorder);
            QTest::qWait(100);
        }
        QVERIFY(takesIn(dir).isEmpty());
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
