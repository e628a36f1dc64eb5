// From the key press to the first sample of the take, with a tone already
// playing into the rig's null sink (whose monitor is the default input):
// each take is held 600 ms, then decoded, and the audio it lacks against the
// time it was held is what a dictation would lose of its first word (its
// end is read out of the device before the take closes, so the loss is at
// the start). Also where the start goes: the start() call (device look-up,
// take file, opening the input on the capture thread) and the first buffer.
//
//   scripts/rig.sh ./build-release/bench/bench_capture [runs]

#include "core/media/DictationAudioWriter.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace parlova;

namespace {

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

// The take's length in seconds, decoded as the relay would.
double decodedSeconds(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-i"), path,
                  QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ac"),
                  QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("16000"),
                  QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(30000))
        return 0;
    return double(ffmpeg.readAllStandardOutput().size()) / 2 / 16000;
}

void wait(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

// What the take file adds to its audio once decoded (the encoder's priming
// and final frame padding): a take of exactly `seconds` written straight to
// the writer, at the input's own format, against its decoded length.
double writerPaddingSeconds(const QString& folder, double seconds) {
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    const int rate = device.preferredFormat().sampleRate();
    const int channels = device.preferredFormat().channelCount();
    const QString path = QDir(folder).filePath(QStringLiteral("reference.m4a"));
    auto writer = core::DictationAudioWriter::create(path, {double(rate), channels, true});
    if (!writer || rate <= 0 || channels <= 0)
        return 0;
    std::vector<float> samples(size_t(seconds * rate) * size_t(channels), 0.25f);
    if (!writer.value()->appendInterleaved(samples) || !writer.value()->finish())
        return 0;
    const double padding = decodedSeconds(path) - seconds;
    QFile::remove(path);
    return padding;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int heldMs = argc > 2 ? std::max(100, atoi(argv[2])) : 600;
    QTemporaryDir folder;

    // A tone long enough for every take, playing before the first press.
    const QString tone = QDir(folder.path()).filePath(QStringLiteral("tone.wav"));
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:sample_rate=48000:duration=120"), tone});
    QProcess player;
    // A low-latency player, and time for the null sink to leave the 2 s blocks
    // it renders while no client asks for less: a real microphone delivers
    // at the latency its reader asks for, and so does the sink from then on.
    player.start(QStringLiteral("paplay"), {QStringLiteral("--latency-msec=10"), tone});
    wait(2500);

    platform::QtAudioRecorder recorder(folder.path());
    qint64 firstLevelNs = -1;
    QElapsedTimer clock;
    QObject::connect(&recorder, &platform::Recorder::levelMeasured, [&](float) {
        if (firstLevelNs < 0)
            firstLevelNs = clock.nsecsElapsed();
    });

    // Decoded lengths for now; what the take lacks once the padding is known.
    QList<double> missed, startCall, firstBuffer, stopCall;
    for (int run = 0; run < runs; ++run) {
        firstLevelNs = -1;
        clock.start();
        if (!recorder.start()) {
            std::fprintf(stderr, "la capture n'a pas démarré\n");
            return 1;
        }
        startCall.append(double(clock.nsecsElapsed()) / 1e6);
        wait(heldMs);
        const qint64 releasedNs = clock.nsecsElapsed();
        const auto take = recorder.stop();
        stopCall.append(double(clock.nsecsElapsed() - releasedNs) / 1e6);
        if (!take) {
            std::fprintf(stderr, "prise perdue\n");
            return 1;
        }
        firstBuffer.append(double(firstLevelNs) / 1e6);
        missed.append(double(releasedNs) / 1e6 - decodedSeconds(take->path) * 1000);
        QFile::remove(take->path);
        wait(100);
    }
    player.kill();
    player.waitForFinished();

    // Measured after the takes, so that the first one loads the encoder as
    // the first take of a run does.
    const double padding = writerPaddingSeconds(folder.path(), heldMs / 1000.0);
    for (double& lack : missed)
        lack += padding * 1000;
    std::printf(
        "première prise (FFmpeg se charge pendant qu’elle commence) : appel de start() %.1f ms, "
        "début manqué %.1f ms\n",
        startCall.front(), missed.front());
    std::printf("capture : appel de start() %.1f ms (médiane), premier tampon à %.1f ms, "
                "arrêt %.1f ms, %d prises de %d ms (bourrage du codeur %.1f ms déduit)\n",
                median(startCall), median(firstBuffer), median(stopCall), runs, heldMs,
                padding * 1000);
    const double lost = median(missed);
    std::printf("FIGURE|appui -> premier échantillon (début manqué)|%.1f ms|< 50 ms||%s\n", lost,
                lost < 50 ? "OK" : "MANQUÉ");
    return 0;
}
