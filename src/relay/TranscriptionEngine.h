#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace parlova::relay {

// What an engine made of one dictation.
struct Transcription {
    enum class Outcome {
        Text,          // `text` holds the transcript (maybe empty: nothing was said)
        Misconfigured, // the engine cannot work as set up (missing command or model)
        Failed,        // this one transcription failed
    };
    Outcome outcome = Outcome::Text;
    QString text;
    QString detail; // for the journal

    static Transcription of(QString text) { return {Outcome::Text, std::move(text), {}}; }
};

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
