// A dictation take: its levels, its file and its audio.
#include "ToolRun.h"
#include "core/media/AudioLevel.h"
#include "core/media/DictationAudioWriter.h"
#include "core/media/DictationTakeFiles.h"
#include "core/media/SoundCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using parlova::core::AudioLevel;
using parlova::core::DictationAudioWriter;
using parlova::core::DictationTakeFiles;
using parlova::core::SoundCheck;
using parlova::test::ToolRun;
using Error = DictationAudioWriter::Error;
using Format = DictationAudioWriter::InputFormat;
using Level = parlova::core::Result<float, Error>;
using Finished = parlova::core::Result<SoundCheck, Error>;
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(DictationAudioWriter::InputFormat)

namespace {

// Interleaved frames; channel c carries a sine at 300 Hz × (c + 1), of
// amplitude 0.5 on channel 0 and 0.25 on the others.
std::vector<float> tones(double rate, int channels, double seconds) {
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<float> samples(frames * channels);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int c = 0; c < channels; ++c) {
            const double phase = 2.0 * std::numbers::pi * 300.0 * (c + 1) * frame / rate;
            samples[frame * channels + c] =
                static_cast<float>((c == 0 ? 0.5 : 0.25) * std::sin(phase));
        }
    }
    return samples;
}

// Interleaved white noise at a third of full scale: a signal that takes the
// encoder's whole bit rate.
std::vector<float> noise(double rate, int channels, double seconds) {
    std::vector<float> samples(static_cast<std::size_t>(rate * seconds) * channels);
    std::uint32_t state = 1;
    for (float& sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<float>(state) / 4294967296.0f * 0.66f - 0.33f;
    }
    return samples;
}

void writeFile(const QString& path, const QByteArray& content = "x") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

std::vector<std::vector<float>> planes(const std::vector<float>& interleaved, int channels) {
    std::vector<std::vector<float>> result(channels);
    for (std::size_t i = 0; i < interleaved.size(); ++i)
        result[i % channels].push_back(interleaved[i]);
    return result;
}

// Feeds the signal in capture-sized buffers, as interleaved or planar input.
void feed(DictationAudioWriter& writer, const std::vector<float>& interleaved,
          qsizetype bufferFrames = 1024) {
    const Format& format = writer.inputFormat();
    const int channels = format.channelCount;
    const auto split = planes(interleaved, channels);
    const auto frames = static_cast<qsizetype>(interleaved.size()) / channels;
    for (qsizetype start = 0; start < frames; start += bufferFrames) {
        const qsizetype count = std::min(bufferFrames, frames - start);
        std::vector<const float*> pointers;
        if (format.interleaved)
            pointers.push_back(interleaved.data() + start * channels);
        else
            for (const auto& plane : split)
                pointers.push_back(plane.data() + start);
        QVERIFY(writer.append({pointers, count}));
    }
}

std::unique_ptr<DictationAudioWriter> makeWriter(const QTemporaryDir& dir, const Format& format) {
    auto created = DictationAudioWriter::create(DictationTakeFiles::newTake(dir.path()), format);
    return created ? std::move(created).value() : nullptr;
}

// The take's stream and container as ffprobe reads them.
QByteArray probe(const QString& path, const char* entries = "stream=codec_name,profile,sample_rate,"
                                                            "channels:format=format_name:format_"
                                                            "tags=major_brand") {
    return ToolRun::of(u"ffprobe"_s,
                       {"-v", "error", "-show_entries", entries, "-of", "compact=nk=1", path})
        .out;
}
// 16 kHz mono AAC-LC in an M4A file. (The profile is only known once there is
// a packet to read.)
QByteArray takeFormat(const char* profile = "LC") {
    return "stream|aac|" + QByteArray(profile) + "|16000|1\nformat|mov,mp4,m4a,3gp,3g2,mj2|M4A \n";
}

} // namespace

class TestDictationAudioWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Levels of the take, as the meter and the sound check read them.
    void decibelsOfKnownRuns() {
        const std::pair<std::vector<float>, float> rows[] = {
            {{}, -160.0f},
            {std::vector<float>(1024, 1.0f), 0.0f},
            {std::vector<float>(1024, 0.001f), -60.0f},
            {std::vector<float>(1024, 1e-9f), -160.0f}, // below the floor
            {{0.5f, notANumber, 0.5f}, -160.0f},
            {{0.5f, infinity}, -160.0f},
            {std::vector<float>(16, 1e30f), -160.0f}, // the squares overflow
        };
        for (const auto& [samples, expected] : rows) {
            const float level = AudioLevel::decibels(samples);
            QVERIFY2(std::abs(level - expected) < 1e-3f, qPrintable(QString::number(level)));
        }
        // The meter is linear over the fifty decibels above the silence threshold.
        const std::pair<float, float> gauge[] = {{-60.0f, 0.0f},     {-59.0f, 0.02f},
                                                 {-35.0f, 0.5f},     {-10.0f, 1.0f},
                                                 {notANumber, 0.0f}, {infinity, 1.0f}};
        for (const auto& [decibels, expected] : gauge)
            QCOMPARE(AudioLevel::gauge(decibels), expected);
    }

    // The threshold itself is silence (on the meter too: the gauge table);
    // NaN levels are ignored; the loudest level is kept.
    void soundCheck() {
        SoundCheck check;
        check.record(notANumber);
        check.record(-160.0f);
        QCOMPARE(check, SoundCheck());
        QCOMPARE(check.loudestDecibels(), -160.0f);
        check.record(AudioLevel::silenceDecibels);
        QVERIFY(!check.heardSound());
        check.record(-59.9f);
        QVERIFY(check.heardSound());
        for (const float level : {-20.0f, -40.0f, notANumber})
            check.record(level);
        QCOMPARE(check.loudestDecibels(), -20.0f);
    }

    // The take's file: its creation and its clean-up (its name is the one
    // removeLeftovers() looks for).
    void createExclusiveIsOwnerOnlyAndNeverReusesAPath() {
        QTemporaryDir dir;
        const QString path = DictationTakeFiles::newTake(dir.path());
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
        QVERIFY(!QFile::exists(path) && path != DictationTakeFiles::newTake(dir.path()));
        const mode_t previous = ::umask(0);
        const int descriptor = DictationTakeFiles::createExclusive(path);
        ::umask(previous);
        QVERIFY(descriptor >= 0);
        ::close(descriptor);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0600));
        // (A path already taken is refused and left as it was:
        // badFormatsAndPathsAreRefused.)

        // A link planted under the name must not lead the take elsewhere.
        const QString target = dir.filePath(u"target"_s);
        const QString planted = DictationTakeFiles::newTake(dir.path());
        QVERIFY(QFile::link(target, planted));
        QCOMPARE(DictationTakeFiles::createExclusive(planted), -1);
        QVERIFY(!QFile::exists(target));
    }

    void removeLeftoversDeletesOnlyOurRegularTakeFiles() {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        writeFile(folder.filePath(u"parlova-1.m4a"_s));
        writeFile(DictationTakeFiles::newTake(dir.path()));
        writeFile(folder.filePath(u"parlova-.m4a"_s));
        QStringList kept = {"parlova-x.M4A", "parlova-x.m4a.part", "autre-parlova-x.m4a",
                            "notes.txt"};
        for (const QString& name : kept)
            writeFile(folder.filePath(name));
        QVERIFY(folder.mkdir(u"parlova-dossier.m4a"_s));
        const QString outside = folder.filePath(u"voix.wav"_s);
        writeFile(outside);
        QVERIFY(QFile::link(outside, folder.filePath(u"parlova-lien.m4a"_s)));
        // Another user's take in a shared folder is not ours to delete.
        const QString foreign = folder.filePath(u"parlova-autre.m4a"_s);
        writeFile(foreign);
        const bool foreignMade = ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0;
        if (foreignMade)
            kept << u"parlova-autre.m4a"_s;
        else
            QFile::remove(foreign);

        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.path()), 3);

        QStringList expected = kept;
        expected << u"parlova-dossier.m4a"_s << u"voix.wav"_s << u"parlova-lien.m4a"_s;
        expected.sort();
        QCOMPARE(
            folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
            expected);
        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.path()), 0);
        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.filePath(u"absent"_s)), 0);
        if (!foreignMade)
            QSKIP("giving a file to another user needs root: that case was not checked");
    }

    // The take's audio.
    void anyInputBecomesSixteenKilohertzMonoAac_data() {
        QTest::addColumn<Format>("format");
        QTest::newRow("48 kHz stereo interleaved") << Format{48000, 2, true};
        QTest::newRow("16 kHz mono") << Format{16000, 1, true};
        QTest::newRow("22.05 kHz twelve channels") << Format{22050, 12, false};
    }
    void anyInputBecomesSixteenKilohertzMonoAac() {
        QFETCH(Format, format);
        QTemporaryDir dir;
        auto writer = makeWriter(dir, format);
        QVERIFY(writer);
        feed(*writer, tones(format.sampleRate, format.channelCount, 2.5));
        QVERIFY(writer->finish());

        QCOMPARE(probe(writer->path()), takeFormat());
        const double duration =
            probe(writer->path(), "format=duration").split('|').value(1).toDouble();
        QVERIFY2(std::abs(duration - 2.5) <= 0.05, qPrintable(QString::number(duration)));
        // Channel 0 is a 0.5 sine (-9 dB), the others weaker tones of their
        // own; the downmix is their average, so their powers add over N².
        const int n = format.channelCount;
        const float expected = -9.03f + 10 * std::log10((1 + (n - 1) / 4.0f) / (n * n));
        // (Leaving out the encoder's ramps at both ends.)
        const std::vector<float> decoded = ToolRun::samplesOf(writer->path());
        const float level = AudioLevel::decibels(std::span(decoded).subspan(1600, 36000));
        QVERIFY2(std::abs(level - expected) < 1.0f, qPrintable(QString::number(level)));
    }

    void levelsFollowAudioLevelAndBadBuffersAreDropped() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, false});
        QVERIFY(writer);
        // A buffer answers its loudest channel.
        const std::vector<float> loud(1024, 0.9f), quiet(1024, 0.01f);
        const float* loudFirst[] = {loud.data(), quiet.data()};
        QCOMPARE(writer->append({loudFirst, 1024}), Level(AudioLevel::decibels(loud)));
        // Broken samples measure at the floor and do not spoil the take;
        // malformed buffers are refused and the take goes on.
        std::vector<float> broken(1024, 0.5f);
        broken[100] = std::numeric_limits<float>::quiet_NaN();
        const float* brokenPlanes[] = {broken.data(), broken.data()};
        QCOMPARE(writer->append({brokenPlanes, 1024}), Level(-160.0f));
        const float* onePlane[] = {loud.data()};
        QCOMPARE(writer->append({onePlane, 1024}), Level(Error::conversionFailed));
        const float* missingPlane[] = {loud.data(), nullptr};
        QCOMPARE(writer->append({missingPlane, 1024}), Level(Error::conversionFailed));
        feed(*writer, tones(48000, 2, 1.0));

        const Finished finished = writer->finish();
        QVERIFY(finished);
        QCOMPARE(finished->loudestDecibels(), AudioLevel::decibels(loud));
        QCOMPARE(probe(writer->path()), takeFormat());

        // Interleaved buffers too: a dead left channel does not lower the level.
        auto stereo = makeWriter(dir, {44100, 2, true});
        QVERIFY(stereo);
        const std::vector<float> frames = {0.0f, 0.5f, 0.0f, -0.5f};
        QCOMPARE(stereo->appendInterleaved(frames),
                 Level(AudioLevel::decibels(std::vector{0.5f, -0.5f})));
        QCOMPARE(stereo->appendInterleaved(std::vector<float>(3, 0.5f)),
                 Level(Error::conversionFailed));
    }

    void emptyInputWritesAnEmptyTake() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, true});
        QVERIFY(writer);
        const float* nothing[] = {nullptr};
        QCOMPARE(writer->append({nothing, 0}), Level(-160.0f));
        QCOMPARE(writer->finish(), Finished(SoundCheck()));

        QCOMPARE(probe(writer->path()), takeFormat("unknown"));
        QVERIFY(ToolRun::samplesOf(writer->path()).empty());
    }

    void badFormatsAndPathsAreRefused() {
        QTemporaryDir dir;
        const QString taken = DictationTakeFiles::newTake(dir.path());
        writeFile(taken, "voix");
        QCOMPARE(DictationAudioWriter::create(taken, {48000, 1, true}).error(),
                 Error::fileNotCreated);
        QCOMPARE(QFileInfo(taken).size(), 4);
        for (const Format& format :
             {Format{0, 1, true}, Format{std::nan(""), 1, true}, Format{48000, 65, true}}) {
            const QString path = DictationTakeFiles::newTake(dir.path());
            QCOMPARE(DictationAudioWriter::create(path, format).error(), Error::unsupportedFormat);
        }
    }

    void aFullDiskFailsTheTakeWithoutCrashing() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, true});
        QVERIFY(writer);
        // The file size limit stands in for a full disk.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = 8192;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        const std::vector<float> signal = noise(48000, 2, 3.2);
        int failures = 0;
        for (std::size_t start = 0; start < signal.size(); start += 2048)
            failures += !writer->appendInterleaved(std::span(signal).subspan(start, 2048));
        const auto finished = writer->finish();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(failures > 0);
        QCOMPARE(finished, Finished(Error::writeFailed));
        QCOMPARE(writer->finish(), finished);
    }

    void finishWaitsForTheBufferBeingAppended() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, true});
        QVERIFY(writer);
        const std::vector<float> signal = tones(48000, 2, 0.1);
        std::atomic<bool> running = true;
        std::thread capture([&] {
            while (running)
                (void)writer->appendInterleaved(signal);
        });
        QTest::qWait(200);
        const auto finished = writer->finish();
        running = false;
        capture.join();
        QVERIFY(finished);
        QCOMPARE(probe(writer->path()), takeFormat());
    }
};

QTEST_GUILESS_MAIN(TestDictationAudioWriter)
#include "tst_dictationaudiowriter.moc"
