#pragma once

#include "relay/Outcome.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace parlova::relay {

// Why an engine made nothing of one dictation.
struct EngineFailure {
    enum class Kind {
        Misconfigured, // the engine cannot work as set up (missing command or model)
        Failed,        // this one transcription failed
    };
    Kind kind = Kind::Failed;
    QString detail; // for the journal

    static EngineFailure failed(QString detail) { return {Kind::Failed, std::move(detail)}; }
    static EngineFailure misconfigured(QString detail) {
        return {Kind::Misconfigured, std::move(detail)};
    }
};

// What an engine made of one dictation: the transcript (maybe empty: nothing
// was said), or why there is none.
using Transcription = Outcome<QString, EngineFailure>;

// Turns 16 kHz mono samples into text. Engines may be called from several
// threads at once and serialise themselves where they must.
class TranscriptionEngine {
public:
    virtual ~TranscriptionEngine() = default;

    // `samples` are the decoded take, `upload` the file as the client sent
    // it; `language` is the two-letter code the client named, if any.
    virtual Transcription transcribe(const std::vector<qint16>& samples, const QByteArray& upload,
                                     const std::optional<QString>& language) = 0;
};

} // namespace parlova::relay
