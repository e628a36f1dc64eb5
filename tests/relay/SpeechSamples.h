#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace parlova::test {

// A recording of real human speech with what was said, from Debian's
// pocketsphinx-testdata package.
struct SpeechSample {
    QString name;
    QString path;
    bool raw = false; // headerless 16 kHz mono 16-bit samples rather than WAV
    QString reference;
};

// The recordings, their encoding into the AAC take format Parlova uploads,
// and the word error rate of a transcript.
class SpeechSamples {
public:
    static inline const QString folder = QStringLiteral("/usr/share/pocketsphinx/test/data");

    // goforward.raw and the librivox recordings; empty when the package is missing.
    static QList<SpeechSample> all();

    // The sample as AAC in MPEG-4 (16 kHz mono), encoded by the ffmpeg
    // command; empty with `*error` set when that fails.
    static QByteArray m4a(const SpeechSample& sample, QString* error);
    // Any ffmpeg input (arguments before the output) encoded the same way.
    static QByteArray m4a(const QStringList& inputArguments, QString* error);
    // A 300 Hz sine of the given length, encoded the same way.
    static QByteArray tone(double seconds, QString* error = nullptr);

    // Lower-case words without punctuation.
    static QStringList words(const QString& text);
    // Word-level edit distance divided by the reference's word count.
    static double wordErrorRate(const QStringList& reference, const QStringList& hypothesis);
    // Seconds of audio in the recording.
    static double seconds(const SpeechSample& sample);
};

} // namespace parlova::test
