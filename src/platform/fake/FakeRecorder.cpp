#include "platform/fake/FakeRecorder.h"

#include "core/media/DictationTakeFiles.h"

#include <QFile>

#include <utility>

#include <unistd.h>

namespace parlova::platform {

FakeRecorder::FakeRecorder(const QString& directory, QObject* parent)
    : Recorder(parent)
    , m_directory(directory) {}

core::Done<core::DictationFailure> FakeRecorder::start() {
    cancel();
    ++m_starts;
    if (m_startFails)
        return core::DictationFailure::recordingFailed();
    const QString path = core::DictationTakeFiles::newTake(m_directory);
    const int descriptor = core::DictationTakeFiles::createExclusive(path);
    if (descriptor < 0)
        return core::DictationFailure::recordingFailed();
    const bool written =
        ::write(descriptor, m_content.constData(), m_content.size()) == m_content.size();
    ::close(descriptor);
    if (!written) {
        QFile::remove(path);
        return core::DictationFailure::recordingFailed();
    }
    m_current = path;
    m_lastPath = path;
    return std::monostate{};
}

core::Result<Recorder::Take, core::DictationFailure> FakeRecorder::stop() {
    if (!m_current)
        return core::DictationFailure::recordingFailed();
    ++m_stops;
    const QString path = *std::exchange(m_current, std::nullopt);
    if (m_finishFails) {
        QFile::remove(path);
        return core::DictationFailure::recordingFailed();
    }
    core::SoundCheck soundCheck;
    soundCheck.record(m_loudestDecibels);
    return Take{path, soundCheck};
}

void FakeRecorder::cancel() {
    if (!m_current)
        return;
    ++m_cancels;
    QFile::remove(*std::exchange(m_current, std::nullopt));
}

} // namespace parlova::platform
