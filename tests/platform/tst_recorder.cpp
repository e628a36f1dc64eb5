#include "Rig.h"
#include "ToolRun.h"
#include "core/media/AudioLevel.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

using parlova::core::AudioLevel;
using parlova::platform::QtAudioRecorder;
using parlova::platform::Recorder;
using parlova::test::ToolRun;

namespace {

bool run(const QString& program, const QStringList& arguments) {
    const ToolRun tool =
        ToolRun::of(program, arguments, QProcessEnvironment::systemEnvironment(), {}, 30000);
    if (!tool.ok())
        qWarning().noquote() << program << tool.err;
    return tool.ok();
}

QStringList takesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({u"parlova-*.m4a"_s}, QDir::Files);
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
        const auto started = (recorder).start();                                                   \
        QVERIFY2(started.ok(), started ? "" : qPrintable(started.error().message()));              \
    } while (false)

class TestRecorder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Silence has to be played too: an idle sink is suspended and its
    // monitor sends nothing, while a real microphone in a quiet room keeps
    // sending buffers.
    void takeHearsWhatPlays_data() {
        QTest::addColumn<bool>("speech");
        QTest::newRow("speech") << true;
        QTest::newRow("silence") << false;
    }
    void takeHearsWhatPlays() {
        PARLOVA_REQUIRE_RIG();
        QFETCH(bool, speech);
        QTemporaryDir dir, sounds;
        const QString sound = sounds.filePath(u"son.wav"_s);
        QVERIFY(speech ? run(u"espeak-ng"_s,
                             {"-v", "fr", "-w", sound, "Bonjour, ceci est un essai de dictée."})
                       : run(u"ffmpeg"_s, {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                           "anullsrc=r=44100:cl=stereo", "-t", "1", sound}));
        QtAudioRecorder recorder(dir.path());
        QSignalSpy levels(&recorder, &Recorder::levelMeasured);
        VERIFY_STARTED(recorder);
        QVERIFY(recorder.isRecording());
        // The first take of a run makes its file once the encoder has loaded.
        QTRY_COMPARE(takesIn(dir).size(), 1);
        // Into the rig's null sink, whose monitor is the default microphone.
        QVERIFY(run(u"paplay"_s, {"-d", u"parlova_sortie"_s, sound}));
        QTest::qWait(300);

        const auto take = recorder.stop();
        QVERIFY(take);
        QVERIFY(!recorder.isRecording());
        QVERIFY2(take->soundCheck.heardSound() == speech,
                 qPrintable(QString::number(take->soundCheck.loudestDecibels())));
        const std::vector<float> samples = ToolRun::samplesOf(take->path);
        QVERIFY(samples.size() > 8000);
        const float level = AudioLevel::decibels(samples);
        QVERIFY2(speech ? level > -45.0f : level <= AudioLevel::silenceDecibels,
                 qPrintable(QString::number(level)));
        // The meter moved while the voice played, and only then.
        QTRY_VERIFY(levels.size() > (speech ? 20 : 0));
        QVERIFY(speech ? largest(levels) > 0.3f : largest(levels) == 0.0f);
    }

    void takeFilesLiveOnlyAsLongAsTheirTake() {
        PARLOVA_REQUIRE_RIG();
        QTemporaryDir dir;
        {
            QtAudioRecorder recorder(dir.path());
            VERIFY_STARTED(recorder);
            QTRY_COMPARE(takesIn(dir).size(), 1);
            const QStringList first = takesIn(dir);
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

            VERIFY_STARTED(recorder);
            QTest::qWait(100);
        }
        QVERIFY(takesIn(dir).isEmpty());

        // No take file, no take; stopping or cancelling it touches nothing.
        QtAudioRecorder nowhere(dir.filePath(u"absent"_s));
        QCOMPARE(nowhere.start(), parlova::core::DictationFailure::recordingFailed());
        QVERIFY(!nowhere.isRecording());
        QVERIFY(!nowhere.stop());
        nowhere.cancel();
        QVERIFY(QDir(dir.path()).isEmpty());
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
