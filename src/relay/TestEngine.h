#pragma once

#include "relay/TranscriptionEngine.h"

#include <QStringList>

#include <mutex>

namespace parlova::relay {

// The deterministic engine of the tests: it answers the transcripts queued
// through the control route, in order, and a fixed sentence once the queue
// is empty. The audio is still decoded first, so a broken upload is still
// refused.
class TestEngine : public TranscriptionEngine {
public:
    static inline const QString standardText =
        QStringLiteral("Ceci est une dictée de test du relais.");

    Transcription transcribe(const std::vector<qint16>& samples, const QByteArray& upload,
                             const std::optional<QString>& language) override;

    void queue(const QString& text);

private:
    std::mutex m_mutex;
    QStringList m_queue;
};

} // namespace parlova::relay
