#pragma once

#include "platform/Recorder.h"

#include <QByteArray>

#include <optional>

namespace parlova::platform {

// A recorder for controller tests: no device, takes made on demand. Each
// successful start writes a small take file in the given directory (the
// controller reads and deletes takes like real ones); stop hands it over
// with the sound check set by the test.
class FakeRecorder final : public Recorder {
    Q_OBJECT

public:
    explicit FakeRecorder(const QString& directory, QObject* parent = nullptr);

    core::Done<core::DictationFailure> start() override;
    core::Result<Take, core::DictationFailure> stop() override;
    void cancel() override;
    bool isRecording() const override { return m_current.has_value(); }

    // The next starts fail with recordingFailed (and leave no file).
    void setStartFails(bool fails) { m_startFails = fails; }
    // The next stops fail as a take that cannot be finished (file deleted).
    void setFinishFails(bool fails) { m_finishFails = fails; }
    // The loudest level of the takes to come; heard sound by default.
    void setLoudestDecibels(float decibels) { m_loudestDecibels = decibels; }
    // What each take file holds.
    void setTakeContent(const QByteArray& content) { m_content = content; }
    // Emits a meter value as capture would.
    void emitLevel(float level) { Q_EMIT levelMeasured(level); }

    int starts() const { return m_starts; }
    int stops() const { return m_stops; }
    int cancels() const { return m_cancels; }
    // The file of the take being recorded, or of the last one.
    const QString& lastPath() const { return m_lastPath; }

private:
    const QString m_directory;
    std::optional<QString> m_current;
    QString m_lastPath;
    QByteArray m_content = QByteArrayLiteral("prise");
    float m_loudestDecibels = -20.0f;
    bool m_startFails = false;
    bool m_finishFails = false;
    int m_starts = 0;
    int m_stops = 0;
    int m_cancels = 0;
};

} // namespace parlova::platform
