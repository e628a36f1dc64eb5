#include "platform/linux/QtAudioRecorder.h"

#include "core/media/AudioLevel.h"
#include "core/media/DictationAudioWriter.h"
#include "core/media/DictationTakeFiles.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMediaDevices>

#include <cstring>
#include <future>

namespace parlova::platform {

namespace {

Q_LOGGING_CATEGORY(recorderLog, "parlova.recorder")

// The size of one metered buffer: about 21 ms at 48 kHz, as fine as the pill
// can show and small enough for the capture thread to keep up.
constexpr qsizetype bufferFrames = 1024;

// The encoder's loading, started by the first take of the process.
using EncoderLoad = core::Done<core::DictationAudioWriter::Error>;
const std::shared_future<EncoderLoad>& encoderLoading() {
    static const std::shared_future<EncoderLoad> loading =
        std::async(std::launch::async, &core::DictationAudioWriter::loadEncoder).share();
    return loading;
}

bool encoderLoaded() {
    return encoderLoading().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

QtAudioRecorder::QtAudioRecorder(const QString& directory, QObject* parent)
    : Recorder(parent)
    , m_directory(directory) {
    m_thread.setObjectName(QStringLiteral("parlova-capture"));
    m_captureContext = new QObject;
    m_captureContext->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_captureContext, &QObject::deleteLater);
    m_thread.start();
}

QtAudioRecorder::QtAudioRecorder(QObject* parent)
    : QtAudioRecorder(QDir::tempPath(), parent) {}

QtAudioRecorder::~QtAudioRecorder() {
    cancel();
    m_thread.quit();
    m_thread.wait();
}

void QtAudioRecorder::onCaptureThread(const std::function<void()>& work) {
    QMetaObject::invokeMethod(m_captureContext, work, Qt::BlockingQueuedConnection);
}

core::Done<core::DictationFailure> QtAudioRecorder::start() {
    cancel();
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        qCWarning(recorderLog) << "no audio input";
        return core::DictationFailure::recordingFailed();
    }
    QAudioFormat format = device.preferredFormat();
    if (format.sampleRate() <= 0 || format.channelCount() <= 0) {
        qCWarning(recorderLog) << "unusable input format" << format;
        return core::DictationFailure::recordingFailed();
    }
    format.setSampleFormat(QAudioFormat::Float);

    const QString path = core::DictationTakeFiles::newTake(m_directory);
    core::Done<core::DictationFailure> started = core::DictationFailure::recordingFailed();
    onCaptureThread([&] { started = openCapture(device, format, path); });
    m_recording = started.ok();
    return started;
}

core::Done<core::DictationFailure> QtAudioRecorder::openCapture(const QAudioDevice& device,
                                                                const QAudioFormat& format,
                                                                const QString& path) {
    auto* source = new QAudioSource(device, format, m_captureContext);
    QIODevice* captured = source->start();
    if (captured == nullptr || source->error() != QAudio::NoError ||
        source->state() == QAudio::StoppedState) {
        qCWarning(recorderLog) << "the input did not start:" << source->error();
        delete source;
        return core::DictationFailure::recordingFailed();
    }
    connect(captured, &QIODevice::readyRead, m_captureContext, [this] { readCaptured(); });
    m_source = source;
    m_captured = captured;
    m_unwritten.clear();
    m_pendingPath = path;
    m_pendingFormat = {static_cast<double>(format.sampleRate()), format.channelCount(), true};
    // Once the encoder is there, a writer that cannot be made fails the start.
    if (encoderLoaded() && !ensureWriter(false)) {
        closeCapture();
        return core::DictationFailure::recordingFailed();
    }
    return std::monostate{};
}

bool QtAudioRecorder::ensureWriter(bool wait) {
    if (m_writer)
        return true;
    if (m_pendingPath.isEmpty() || (!wait && !encoderLoaded()))
        return false;
    auto created = core::DictationAudioWriter::create(std::exchange(m_pendingPath, QString()),
                                                      m_pendingFormat);
    if (!created) {
        qCWarning(recorderLog).noquote()
            << "no take writer:" << core::DictationAudioWriter::message(created.error());
        return false;
    }
    m_writer = std::move(created.value());
    return true;
}

void QtAudioRecorder::readCaptured() {
    if (m_captured != nullptr)
        drain(false);
}

void QtAudioRecorder::drain(bool waitForWriter) {
    m_unwritten += m_captured->readAll();
    if (!ensureWriter(waitForWriter)) {
        // Kept for the writer to come; dropped once it has failed.
        if (m_pendingPath.isEmpty())
            m_unwritten.clear();
        return;
    }
    const qsizetype channels = m_writer->inputFormat().channelCount;
    const qsizetype frameBytes = channels * qsizetype(sizeof(float));
    const qsizetype frames = m_unwritten.size() / frameBytes;
    for (qsizetype start = 0; start < frames; start += bufferFrames) {
        const qsizetype count = std::min(bufferFrames, frames - start);
        m_samples.resize(count * channels);
        std::memcpy(m_samples.data(), m_unwritten.constData() + start * frameBytes,
                    count * frameBytes);
        const auto level = m_writer->appendInterleaved(m_samples);
        // A buffer that could not be written is dropped; the take goes on.
        if (level) {
            const float gauge = core::AudioLevel::gauge(*level);
            QMetaObject::invokeMethod(
                this, [this, gauge] { Q_EMIT levelMeasured(gauge); }, Qt::QueuedConnection);
        }
    }
    m_unwritten.remove(0, frames * frameBytes);
}

void QtAudioRecorder::closeCapture() {
    if (m_source == nullptr)
        return;
    // Whatever the device still holds belongs to the take; a take released
    // before the encoder was there waits for it.
    drain(true);
    m_source->stop();
    delete m_source;
    m_source = nullptr;
    m_captured = nullptr;
    m_unwritten = {};
    m_pendingPath.clear();
    m_samples = {};
}

core::Result<Recorder::Take, core::DictationFailure> QtAudioRecorder::stop() {
    if (!m_recording)
        return core::DictationFailure::recordingFailed();
    m_recording = false;
    onCaptureThread([this] { closeCapture(); });
    const std::shared_ptr<core::DictationAudioWriter> writer = std::move(m_writer);
    m_writer.reset();
    if (!writer)
        return core::DictationFailure::recordingFailed();

    const auto finished = writer->finish();
    if (finished)
        return Take{writer->path(), *finished};
    qCWarning(recorderLog).noquote() << "the take could not be finished:"
                                     << core::DictationAudioWriter::message(finished.error());
    QFile::remove(writer->path());
    return core::DictationFailure::recordingFailed();
}

void QtAudioRecorder::cancel() {
    if (const auto take = stop())
        QFile::remove(take->path);
}

} // namespace parlova::platform
