#pragma once

#include "relay/Options.h"
#include "relay/Outcome.h"
#include "relay/TranscriptionEngine.h"

#include <QByteArray>
#include <QString>

namespace parlova::relay {

// A speech-to-text server speaking the usual transcription API as the
// engine: each dictation is posted to `POST …/audio/transcriptions` as a
// multipart form (`file`, and `model`, `language` when known), and the
// `text` member of the JSON answer is the transcript. Plain HTTP or HTTPS
// with the system's certificate store; the API key, when there is one, goes
// as a bearer token and never into the journal.
class ServerEngine : public TranscriptionEngine {
public:
    explicit ServerEngine(const Options& options);

    // Reads the API key: from --cle-fichier, else $PARLOVA_RELAIS_CLE, else
    // none. A French message when the key file is unusable.
    Started load();

    Transcription transcribe(const std::vector<qint16>& samples, const QByteArray& upload,
                             const std::optional<QString>& language) override;

private:
    const QString m_url;
    const QString m_model;
    const QString m_keyFile;
    const ServerFormat m_format;
    const int m_timeoutSeconds;
    QByteArray m_key;
};

} // namespace parlova::relay
