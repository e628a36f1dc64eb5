#pragma once

#include "core/media/DictationAudioWriter.h"
#include "platform/Recorder.h"

#include <QThread>

#include <functional>
#include <memory>
#include <vector>

class QAudioDevice;
class QAudioFormat;
class QAudioSource;

namespace parlova::platform {

// The recorder on Qt Multimedia (PulseAudio or PipeWire-Pulse): the default
// input in 32-bit float at the device's own rate and channel count, read on a
// thread of its own that feeds the take writer buffer by buffer, so that the
// main thread never waits for audio. The first take of a run starts before the
// encoder has loaded: its first buffers wait in memory, never in the sound
// server, which drops what is not read in time.
class QtAudioRecorder final : public Recorder {
    Q_OBJECT

public:
    // Takes go to `directory`; the application uses the temporary directory.
    explicit QtAudioRecorder(const QString& directory, QObject* parent = nullptr);
    explicit QtAudioRecorder(QObject* parent = nullptr);
    ~QtAudioRecorder() override;

    core::Done<core::DictationFailure> start() override;
    core::Result<Take, core::DictationFailure> stop() override;
    void cancel() override;
    bool isRecording() const override { return m_recording; }

private:
    // These run on the capture thread.
    core::Done<core::DictationFailure> openCapture(const QAudioDevice& device,
                                                   const QAudioFormat& format, const QString& path);
    // Creates the take's writer once the encoder is there (waiting for it
    // when asked to); false while it is not, or when the writer failed.
    bool ensureWriter(bool wait);
    void readCaptured();
    // Hands what the device holds to the writer, whole frames only.
    void drain(bool waitForWriter);
    void closeCapture();

    void onCaptureThread(const std::function<void()>& work);

    const QString m_directory;
    QThread m_thread;
    // Lives on the capture thread; everything below it belongs to that thread
    // while a take runs.
    QObject* m_captureContext = nullptr;
    QAudioSource* m_source = nullptr;
    QIODevice* m_captured = nullptr;
    // Captured bytes not written yet: a partial frame, or everything heard
    // while the writer does not exist.
    QByteArray m_unwritten;
    std::vector<float> m_samples;
    // The writer to make: where the take goes, in what format.
    QString m_pendingPath;
    core::DictationAudioWriter::InputFormat m_pendingFormat;
    // Set on the capture thread while a take runs, taken by stop on the main
    // thread once the capture has closed; the writer's own lock covers its
    // use on both threads.
    std::shared_ptr<core::DictationAudioWriter> m_writer;
    bool m_recording = false; // main thread
};

} // namespace parlova::platform
