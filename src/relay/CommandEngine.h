#pragma once

#include "relay/TranscriptionEngine.h"

#include <QString>

namespace parlova::relay {

// An external program as the engine, such as a local Whisper build. Each
// dictation is written to a private WAV file (16 kHz mono, 16 bits); the
// command runs through /bin/sh with that file's path as its last argument
// (or where the command says {wav}); what it prints on standard output is the
// transcript. The language, when the client named one, is in the environment
// as PARLOVA_LANGUE. The file is deleted afterwards.
class CommandEngine : public TranscriptionEngine {
public:
    static constexpr int timeoutSeconds = 120;

    CommandEngine(QString command, QString workDir);

    Transcription transcribe(const std::vector<qint16>& samples, const QByteArray& upload,
                             const std::optional<QString>& language) override;

    // The bytes of a WAV file holding the samples.
    static QByteArray wav(const std::vector<qint16>& samples, int sampleRate);

private:
    QString m_command;
    QString m_workDir;
};

} // namespace parlova::relay
