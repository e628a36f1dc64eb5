#include "relay/TestEngine.h"

namespace parlova::relay {

Transcription TestEngine::transcribe(const std::vector<qint16>&, const QByteArray&,
                                     const std::optional<QString>&) {
    const std::lock_guard lock(m_mutex);
    if (m_queue.isEmpty())
        return standardText;
    return m_queue.takeFirst();
}

void TestEngine::queue(const QString& text) {
    const std::lock_guard lock(m_mutex);
    m_queue.append(text);
}

} // namespace parlova::relay
