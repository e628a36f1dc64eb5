#include "core/AudioLevel.h"
#include "core/DictationAudioWriter.h"
#include "core/DictationTakeFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using parlova::core::AudioLevel;
using parlova::core::DictationAudioWriter;
using parlova::core::DictationTakeFiles;
using parlova::core::SoundCheck;
using Error = DictationAudioWriter::Error;
using Format = DictationAudioWriter::InputFormat;

Q_DECLARE_METATYPE(DictationAudioWriter::InputFormat)

namespace {

// Interleaved frames; channel c carries a sine at 300 Hz × (c + 1), of
// amplitude `amplitude` on channel 0 and half of it on the others.
std::vector<float> tones(double rate, int channels, double seconds, float amplitude = 0.5f) {
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<float> samples(frames * channels);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int c = 0; c < channels; ++c) {
            const double phase = 2.0 * std::numbers::pi * 300.0 * (c + 1) * frame / rate;
            samples[frame * channels + c] =
                static_cast<float>((c == 0 ? amplitude : amplitude / 2) * std::sin(phase));
        }
    }
    return samples;
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
        const auto level = writer.append({pointers, count});
        QVERIFY(std::holds_alternative<float>(level));
    }
}

std::unique_ptr<DictationAudioWriter> makeWriter(const QTemporaryDir& dir, const Format& format) {
    auto created = DictationAudioWriter::create(DictationTakeFiles::newTake(dir.path()), format);
    if (auto* writer = std::get_if<std::unique_ptr<DictationAudioWriter>>(&created))
        return std::move(*writer);
    return nullptr;
}

QJsonObject probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-show_entries",
                   "stream=codec_name,profile,sample_rate,channels,duration:"
                   "format=format_name,duration:format_tags=major_brand",
                   "-of", "json", path});
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
}

std::vector<float> decode(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-nostdin", "-i", path, "-f", "f32le", "-ac", "1", "-"});
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
        return {};
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    std::vector<float> samples(bytes.size() / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

// Level of the decoded take, leaving out the encoder's ramps at both ends.
float decodedLevel(const std::vector<float>& samples) {
    if (samples.size() < 4000)
        return AudioLevel::floorDecibels;
    return AudioLevel::decibels(std::span(samples).subspan(1600, samples.size() - 3200));
}

// The take's audio stream as ffprobe reads it. The AAC profile is only known
// once there is a packet to read.
void verifyTakeFormat(const QJsonObject& probed, bool hasAudio = true) {
    const QJsonObject stream = probed[QLatin1String("streams")].toArray().at(0).toObject();
    const QJsonObject format = probed[QLatin1String("format")].toObject();
    QCOMPARE(stream[QLatin1String("codec_name")].toString(), QStringLiteral("aac"));
    if (hasAudio)
        QCOMPARE(stream[QLatin1String("profile")].toString(), QStringLiteral("LC"));
    QCOMPARE(stream[QLatin1String("sample_rate")].toString(), QStringLiteral("16000"));
    QCOMPARE(stream[QLatin1String("channels")].toInt(), 1);
    QVERIFY(format[QLatin1String("format_name")].toString().contains(QLatin1String("m4a")));
    QCOMPARE(format[QLatin1String("tags")].toObject()[QLatin1String("major_brand")].toString(),
             QStringLiteral("M4A "));
}

} // namespace

class TestDictationAudioWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QFAIL("ffprobe (package ffmpeg) is needed to read the takes back");
    }

    void anyInputBecomesSixteenKilohertzMonoAac_data() {
        QTest::addColumn<Format>("format");
        QTest::newRow("48 kHz stereo interleaved") << Format{48000, 2, true};
        QTest::newRow("48 kHz stereo planar") << Format{48000, 2, false};
        QTest::newRow("44.1 kHz mono") << Format{44100, 1, true};
        QTest::newRow("16 kHz mono") << Format{16000, 1, true};
        QTest::newRow("8 kHz mono") << Format{8000, 1, false};
        QTest::newRow("96 kHz six channels") << Format{96000, 6, true};
        QTest::newRow("22.05 kHz twelve channels") << Format{22050, 12, false};
    }
    void anyInputBecomesSixteenKilohertzMonoAac() {
        QFETCH(Format, format);
        QTemporaryDir dir;
        auto writer = makeWriter(dir, format);
        QVERIFY(writer);
        feed(*writer, tones(format.sampleRate, format.channelCount, 2.5));
        QVERIFY(std::holds_alternative<SoundCheck>(writer->finish()));

        const QJsonObject probed = probe(writer->path());
        verifyTakeFormat(probed);
        const double duration = probed[QLatin1String("format")]
                                    .toObject()[QLatin1String("duration")]
                                    .toString()
                                    .toDouble();
        QVERIFY2(std::abs(duration - 2.5) <= 0.05, qPrintable(QString::number(duration)));
        // Channel 0 is a 0.5 sine (-9 dB), the others weaker tones of their
        // own; the downmix is their average, so their powers add over N².
        const int n = format.channelCount;
        const float expected = -9.03f + 10 * std::log10((1 + (n - 1) / 4.0f) / (n * n));
        const float level = decodedLevel(decode(writer->path()));
        QVERIFY2(std::abs(level - expected) < 1.0f, qPrintable(QString::number(level)));

        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(writer->path()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, mode_t(0600));
    }

    void interleavedAndPlanarInputGiveTheSameTake() {
        QTemporaryDir dir;
        const std::vector<float> signal = tones(48000, 2, 1.0);
        auto interleaved = makeWriter(dir, {48000, 2, true});
        auto planar = makeWriter(dir, {48000, 2, false});
        QVERIFY(interleaved && planar);
        feed(*interleaved, signal);
        feed(*planar, signal);
        QCOMPARE(interleaved->finish(), planar->finish());
        const std::vector<float> a = decode(interleaved->path());
        const std::vector<float> b = decode(planar->path());
        QCOMPARE(a.size(), b.size());
        float largestDifference = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            largestDifference = std::max(largestDifference, std::abs(a[i] - b[i]));
        QVERIFY2(largestDifference < 1e-3f, qPrintable(QString::number(largestDifference)));
    }

    void levelsFollowAudioLevel() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, false});
        QVERIFY(writer);
        // Planar buffers answer their loudest channel.
        const std::vector<float> loud(1024, 0.25f), quiet(1024, 0.01f);
        const float* loudFirst[] = {loud.data(), quiet.data()};
        QCOMPARE(writer->append({loudFirst, 1024}),
                 (std::variant<float, Error>(AudioLevel::decibels(loud))));
        const float* quietOnly[] = {quiet.data(), quiet.data()};
        QCOMPARE(writer->append({quietOnly, 1024}),
                 (std::variant<float, Error>(AudioLevel::decibels(quiet))));
        // Broken samples measure at the floor and do not disturb the take.
        std::vector<float> broken(1024, 0.5f);
        broken[100] = std::numeric_limits<float>::quiet_NaN();
        const float* brokenPlanes[] = {broken.data(), broken.data()};
        QCOMPARE(writer->append({brokenPlanes, 1024}), (std::variant<float, Error>(-160.0f)));

        const auto finished = writer->finish();
        QVERIFY(std::holds_alternative<SoundCheck>(finished));
        QCOMPARE(std::get<SoundCheck>(finished).loudestDecibels(), AudioLevel::decibels(loud));
        verifyTakeFormat(probe(writer->path()));

        // So do interleaved ones: a dead right channel does not lower the level.
        auto stereo = makeWriter(dir, {44100, 2, true});
        QVERIFY(stereo);
        const std::vector<float> frames = {0.0f, 0.5f, 0.0f, -0.5f};
        QCOMPARE(stereo->appendInterleaved(frames),
                 (std::variant<float, Error>(AudioLevel::decibels(std::vector{0.5f, -0.5f}))));
        QCOMPARE(stereo->appendInterleaved(std::vector<float>(3, 0.5f)),
                 (std::variant<float, Error>(Error::conversionFailed)));
    }

    void emptyInputWritesAnEmptyTake() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, true});
        QVERIFY(writer);
        QCOMPARE(writer->append({}), (std::variant<float, Error>(-160.0f)));
        const float* nothing[] = {nullptr};
        QCOMPARE(writer->append({nothing, 0}), (std::variant<float, Error>(-160.0f)));
        QCOMPARE(writer->finish(), (std::variant<SoundCheck, Error>(SoundCheck())));

        const QJsonObject probed = probe(writer->path());
        verifyTakeFormat(probed, false);
        const QJsonObject stream = probed[QLatin1String("streams")].toArray().at(0).toObject();
        QCOMPARE(stream[QLatin1String("duration")].toString().toDouble(), 0.0);
        QVERIFY(decode(writer->path()).empty());
    }

    void aTakeIsWrittenAsItGoesAndClosedForGood() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 1, true});
        QVERIFY(writer);
        feed(*writer, tones(48000, 1, 10.0));
        // 10 s at 48 kbit/s is about 60 kB; it must be on disk already.
        QVERIFY2(QFileInfo(writer->path()).size() > 40000,
                 qPrintable(QString::number(QFileInfo(writer->path()).size())));
        QVERIFY(std::holds_alternative<SoundCheck>(writer->finish()));
        const qint64 size = QFileInfo(writer->path()).size();

        const std::vector<float> louder(1024, 0.9f);
        QCOMPARE(writer->appendInterleaved(louder),
                 (std::variant<float, Error>(AudioLevel::decibels(louder))));
        QCOMPARE(QFileInfo(writer->path()).size(), size);
        const auto again = writer->finish();
        QVERIFY(std::holds_alternative<SoundCheck>(again));
        QCOMPARE(std::get<SoundCheck>(again).loudestDecibels(), AudioLevel::decibels(louder));
    }

    void badFormatsAndPathsAreRefused() {
        QTemporaryDir dir;
        const QString taken = DictationTakeFiles::newTake(dir.path());
        QFile existing(taken);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("voix");
        existing.close();
        QCOMPARE(DictationAudioWriter::create(taken, {48000, 1, true}).index(), 1u);
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("voix"));

        const QString missingFolder = dir.filePath(QStringLiteral("absent/prise.m4a"));
        QCOMPARE(std::get<Error>(DictationAudioWriter::create(missingFolder, {48000, 1, true})),
                 Error::fileNotCreated);
        const Format bad[] = {{0, 1, true},
                              {48000, 0, true},
                              {std::nan(""), 1, true},
                              {-48000, 2, false},
                              {48000, 65, true}};
        for (const Format& format : bad) {
            const QString path = DictationTakeFiles::newTake(dir.path());
            QCOMPARE(std::get<Error>(DictationAudioWriter::create(path, format)),
                     Error::unsupportedFormat);
            QVERIFY(!QFile::exists(path));
        }
    }

    void malformedBufferIsDroppedAndTheTakeGoesOn() {
        QTemporaryDir dir;
        auto writer = makeWriter(dir, {48000, 2, false});
        QVERIFY(writer);
        const std::vector<float> samples(1024, 0.5f);
        const float* onePlane[] = {samples.data()};
        QCOMPARE(writer->append({onePlane, 1024}),
                 (std::variant<float, Error>(Error::conversionFailed)));
        const float* missingPlane[] = {samples.data(), nullptr};
        QCOMPARE(writer->append({missingPlane, 1024}),
                 (std::variant<float, Error>(Error::conversionFailed)));
        feed(*writer, tones(48000, 2, 1.0));
        QVERIFY(std::holds_alternative<SoundCheck>(writer->finish()));
        verifyTakeFormat(probe(writer->path()));
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
        const std::vector<float> signal = tones(48000, 2, 4.0);
        int failures = 0;
        for (std::size_t start = 0; start < signal.size(); start += 2048)
            failures += writer
                            ->appendInterleaved(std::span(signal).subspan(
                                start, std::min<std::size_t>(2048, signal.size() - start)))
                            .index();
        const auto finished = writer->finish();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(failures > 0);
        QCOMPARE(finished, (std::variant<SoundCheck, Error>(Error::writeFailed)));
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
        QVERIFY(std::holds_alternative<SoundCheck>(finished));
        verifyTakeFormat(probe(writer->path()));
    }
};

QTEST_GUILESS_MAIN(TestDictationAudioWriter)
#include "tst_dictationaudiowriter.moc"
