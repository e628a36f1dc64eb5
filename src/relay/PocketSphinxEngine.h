#pragma once

#include "relay/Outcome.h"
#include "relay/TranscriptionEngine.h"

#include <mutex>

struct ps_decoder_s;
struct cmd_ln_s;

namespace parlova::relay {

// PocketSphinx with Debian's US English model. The decoder is not reentrant:
// dictations take turns on it.
class PocketSphinxEngine : public TranscriptionEngine {
public:
    static inline const QString modelDir = QStringLiteral("/usr/share/pocketsphinx/model/en-us");

    PocketSphinxEngine();
    ~PocketSphinxEngine() override;
    PocketSphinxEngine(const PocketSphinxEngine&) = delete;
    PocketSphinxEngine& operator=(const PocketSphinxEngine&) = delete;

    // Loads the model; a French message when it cannot.
    Started load();

    Transcription transcribe(const std::vector<qint16>& samples, const QByteArray& upload,
                             const std::optional<QString>& language) override;

private:
    std::mutex m_mutex;
    cmd_ln_s* m_config = nullptr;
    ps_decoder_s* m_decoder = nullptr;
};

} // namespace parlova::relay
