#pragma once

#include "core/Result.h"
#include "core/media/SoundCheck.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace parlova::core {

// Writes one take as it is captured: measures every buffer, converts it to
// 16 kHz mono 32-bit float, encodes it as AAC-LC at 48 kbit/s and writes it to
// an MPEG-4 audio file (".m4a"). Nothing but the buffer under conversion and
// the encoder's last partial frame is held in memory.
//
// append() runs on the capture thread, finish() on the main thread once
// capture has stopped; one lock makes them exclusive. A writer destroyed
// without a successful finish() leaves an unusable file behind: its owner
// deletes it.
class DictationAudioWriter {
public:
    static constexpr int sampleRate = 16000;
    static constexpr int bitRate = 48000;

    enum class Error {
        fileNotCreated,    // the take file could not be created
        unsupportedFormat, // no conversion from this input to the take's format,
                           // or no FFmpeg at all
        conversionFailed,  // a buffer could not be converted or encoded
        writeFailed,       // the file could not be written or closed
    };
    static QString message(Error error);

    struct InputFormat {
        double sampleRate = 0.0;
        int channelCount = 0;
        // One plane of frames × channels samples, or one plane per channel.
        bool interleaved = true;
    };

    // One captured buffer in the writer's input format: one plane for
    // interleaved input, one per channel for planar input. A buffer without
    // planes carries no samples and measures at the floor.
    struct Buffer {
        std::span<const float* const> planes;
        qsizetype frames = 0;
    };

    ~DictationAudioWriter();
    DictationAudioWriter(const DictationAudioWriter&) = delete;
    DictationAudioWriter& operator=(const DictationAudioWriter&) = delete;

    // Loads the encoder (FFmpeg), which no program start pays for: the first
    // call takes a while, later ones answer at once. Safe on any thread;
    // unsupportedFormat when FFmpeg is missing. create() loads it too.
    static Done<Error> loadEncoder();

    // Creates the file (exclusively, mode 0600) and the converter. On failure
    // nothing is left on disk.
    static Result<std::unique_ptr<DictationAudioWriter>, Error> create(const QString& path,
                                                                       const InputFormat& format);

    const QString& path() const { return m_path; }
    const InputFormat& inputFormat() const { return m_format; }

    // Measures the buffer (the loudest of its channels), records the level in
    // the sound check, then converts and writes it. Answers the buffer's own
    // level in decibels. After finish() only the sound check is updated.
    Result<float, Error> append(const Buffer& buffer);
    // The same for an interleaved buffer of frames × channels samples.
    Result<float, Error> appendInterleaved(std::span<const float> samples);

    // Flushes the converter and the encoder and closes the file. Answers the
    // take's sound check; a failure is final and is answered again by any
    // later call.
    Result<SoundCheck, Error> finish();

private:
    struct Encoder;

    DictationAudioWriter(QString path, InputFormat format, std::unique_ptr<Encoder> encoder);

    static float measure(const Buffer& buffer, int channelCount);
    Done<Error> convert(const Buffer* buffer);

    const QString m_path;
    const InputFormat m_format;
    std::mutex m_lock;
    std::unique_ptr<Encoder> m_encoder; // guarded by m_lock; gone once finished
    SoundCheck m_soundCheck;            // guarded by m_lock
    std::optional<Error> m_finishError; // guarded by m_lock
};

} // namespace parlova::core
