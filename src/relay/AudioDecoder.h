#pragma once

#include "relay/Outcome.h"

#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace parlova::relay {

// Turns an uploaded audio file into 16 kHz mono 16-bit samples with FFmpeg.
// Only containers with a clear signature are opened (MPEG-4 audio as Parlova
// sends it, WAV, Ogg, Matroska/WebM, FLAC), and only common audio codecs, so
// that a file of noise is refused rather than decoded as something.
class AudioDecoder {
public:
    static constexpr int sampleRate = 16000;

    enum class Failure {
        Unreadable, // not an audio file of an accepted kind
        Empty,      // an audio file without any sound in it
        TooLong,    // longer than the limit given
    };

    // The samples, never none: a file without them is Empty or Unreadable.
    using Decoded = Outcome<std::vector<qint16>, Failure>;

    static Decoded decode(const QByteArray& file, double maxSeconds);
};

} // namespace parlova::relay
