// Writes 120 s of 48 kHz stereo float through the take writer, as capture
// would (1024-frame buffers), and compares its CPU time with the ffmpeg
// command doing the same conversion and encoding on the same raw input.
//
//   bench_audiowriter [recording]
//
// Without an argument the input is a synthetic voice-like signal; with one,
// that recording (any format ffmpeg reads) is looped to 120 s, which is the
// fairer load: the AAC encoder's cost depends on the signal.
#include "core/media/DictationAudioWriter.h"
#include "core/media/DictationTakeFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

using parlova::core::DictationAudioWriter;
using parlova::core::DictationTakeFiles;

namespace {

constexpr int inputRate = 48000;
constexpr int channels = 2;
constexpr double seconds = 120.0;
constexpr int runs = 5;

double seconds_of(const timeval& time) {
    return time.tv_sec + time.tv_usec / 1e6;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Voice-like input: a few harmonics with a syllable-rate envelope, a little
// noise, and a different mix on each channel.
std::vector<float> voiceLikeSignal() {
    const auto frames = static_cast<std::size_t>(inputRate * seconds);
    std::vector<float> samples(frames * channels);
    std::uint32_t noise = 12345;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / inputRate;
        const double pitch = 140.0 + 30.0 * std::sin(2 * std::numbers::pi * 0.7 * t);
        const double envelope = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 4.0 * t);
        double voice = 0;
        for (int harmonic = 1; harmonic <= 8; ++harmonic)
            voice += std::sin(2 * std::numbers::pi * pitch * harmonic * t) / harmonic;
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise) / 4294967296.0 - 0.5) * 0.01;
            samples[frame * channels + c] =
                static_cast<float>(0.2 * envelope * voice * (c == 0 ? 1.0 : 0.8) + hiss);
        }
    }
    return samples;
}

double writerCpuSeconds(const std::vector<float>& samples, const QString& directory) {
    const QString path = DictationTakeFiles::newTake(directory);
    auto created = DictationAudioWriter::create(path, {inputRate, channels, true});
    if (!created) {
        std::fprintf(stderr, "writer: %s\n",
                     qPrintable(DictationAudioWriter::message(created.error())));
        return -1;
    }
    const double start = processCpuSeconds();
    constexpr std::size_t buffer = 1024 * channels;
    for (std::size_t at = 0; at < samples.size(); at += buffer) {
        const std::size_t count = std::min(buffer, samples.size() - at);
        if (!created.value()->appendInterleaved({samples.data() + at, count}))
            return -1;
    }
    if (!created.value()->finish())
        return -1;
    const double used = processCpuSeconds() - start;
    QFile::remove(path);
    return used;
}

// CPU time of a child process run to completion, or -1 if it failed.
double childCpuSeconds(const std::vector<QByteArray>& command) {
    std::vector<char*> arguments;
    for (const QByteArray& argument : command)
        arguments.push_back(const_cast<char*>(argument.constData()));
    arguments.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, arguments[0], nullptr, nullptr, arguments.data(), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
}

// The ffmpeg command for the same conversion; "fast" is the writer's coder,
// "twoloop" ffmpeg's default.
double ffmpegCpuSeconds(const QString& raw, const QString& directory, const char* coder) {
    const QByteArray output = QFile::encodeName(QDir(directory).filePath("ffmpeg.m4a"));
    const double used = childCpuSeconds(
        {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",  "-f",
         "f32le",  "-ar",      "48000",        "-ac",       "2",     "-i",  QFile::encodeName(raw),
         "-ar",    "16000",    "-ac",          "1",         "-c:a",  "aac", "-aac_coder",
         coder,    "-b:a",     "48k",          "-f",        "ipod",  output});
    QFile::remove(QFile::decodeName(output));
    return used;
}

// The recording looped to 120 s of 48 kHz stereo float, through ffmpeg.
std::vector<float> loopedRecording(const QString& recording, const QString& raw) {
    if (childCpuSeconds({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                         "-stream_loop", "-1", "-i", QFile::encodeName(recording), "-t",
                         QByteArray::number(seconds), "-ar", "48000", "-ac", "2", "-f", "f32le",
                         QFile::encodeName(raw)}) < 0)
        return {};
    QFile file(raw);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples(bytes.size() / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir directory;
    const QString raw = QDir(directory.path()).filePath(QStringLiteral("entree.f32le"));
    const QString recording = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    std::vector<float> samples;
    if (recording.isEmpty()) {
        samples = voiceLikeSignal();
        QFile rawFile(raw);
        const auto size = qint64(samples.size() * sizeof(float));
        if (!rawFile.open(QIODevice::WriteOnly) ||
            rawFile.write(reinterpret_cast<const char*>(samples.data()), size) != size) {
            std::fprintf(stderr, "cannot write the raw input\n");
            return 1;
        }
    } else {
        samples = loopedRecording(recording, raw);
        if (samples.empty()) {
            std::fprintf(stderr, "cannot read %s\n", argv[1]);
            return 1;
        }
    }

    // The minimum of `runs` runs of each, ours and ffmpeg's in turn, so that a
    // busy spell of the machine weighs on both alike and the best run of
    // each is the one least disturbed.
    double writer = 1e9, ffmpeg = 1e9;
    for (int run = 0; run < runs; ++run) {
        const double w = writerCpuSeconds(samples, directory.path());
        const double f = ffmpegCpuSeconds(raw, directory.path(), "fast");
        if (w < 0 || f < 0) {
            std::fprintf(stderr, "run %d failed (writer %.3f, ffmpeg %.3f)\n", run + 1, w, f);
            return 1;
        }
        std::printf("run %d                      writer %.3f s, ffmpeg %.3f s\n", run + 1, w, f);
        writer = std::min(writer, w);
        ffmpeg = std::min(ffmpeg, f);
    }
    // ffmpeg's own default coder, once, for scale only.
    const double ffmpegDefault = ffmpegCpuSeconds(raw, directory.path(), "twoloop");
    if (ffmpegDefault < 0) {
        std::fprintf(stderr, "ffmpeg with its default coder failed\n");
        return 1;
    }
    const double realTime = seconds / writer;
    const double ratio = writer / ffmpeg;
    std::printf("input                      %s, %.0f s of %d Hz %d-channel float\n",
                recording.isEmpty() ? "synthetic voice" : argv[1], seconds, inputRate, channels);
    std::printf("writer CPU time            %.3f s (1024-frame buffers, best of %d)\n", writer,
                runs);
    std::printf("real-time factor           %.0fx (target at least 500x)%s\n", realTime,
                realTime >= 500 ? "" : "  MISSED");
    std::printf("ffmpeg CPU time            %.3f s (same coder, \"fast\", best of %d)\n", ffmpeg,
                runs);
    std::printf("writer / ffmpeg            %.2f (ratio of the bests, target at most 0.75)%s\n",
                ratio, ratio <= 0.75 ? "" : "  MISSED");
    std::printf("ffmpeg, default coder      %.3f s (\"twoloop\", one run, %.0fx real time)\n",
                ffmpegDefault, seconds / ffmpegDefault);
    // The runner's lines (bench/run.sh).
    std::printf(
        "FIGURE|écriture de prise : facteur temps réel|%.0fx|≥ 500x|ffmpeg \"fast\" %.0fx|%s\n",
        realTime, seconds / ffmpeg, realTime >= 500 ? "OK" : "MANQUÉ");
    std::printf(
        "FIGURE|écriture de prise : CPU / ffmpeg|%.2f|≤ 0.75|ffmpeg %.3f s, nous %.3f s|%s\n",
        ratio, ffmpeg, writer, ratio <= 0.75 ? "OK" : "MANQUÉ");
    return 0;
}
