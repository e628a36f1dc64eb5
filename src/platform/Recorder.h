#pragma once

#include "core/Result.h"
#include "core/domain/DictationFailure.h"
#include "core/media/SoundCheck.h"

#include <QObject>
#include <QString>

namespace parlova::platform {

// Captures one take at a time from the default microphone into a take file
// (16 kHz mono AAC, see core::DictationAudioWriter). Used from the main
// thread only; capture itself runs elsewhere.
class Recorder : public QObject {
    Q_OBJECT

public:
    // A finished take: its file and the loudest level heard.
    struct Take {
        QString path;
        core::SoundCheck soundCheck;

        friend bool operator==(const Take&, const Take&) = default;
    };

    using QObject::QObject;
    ~Recorder() override = default;

    // Starts a new take, cancelling any take in progress first. Succeeds once
    // capture runs, else fails with recordingFailed (no microphone, no take
    // file, the device did not start); a failed start leaves no file.
    virtual core::Done<core::DictationFailure> start() = 0;

    // Ends the take and hands it over; the caller deletes its file once used.
    // Fails with recordingFailed when no take was running or the file could
    // not be finished (the file is then deleted).
    virtual core::Result<Take, core::DictationFailure> stop() = 0;

    // Ends the take and deletes its file.
    virtual void cancel() = 0;

    virtual bool isRecording() const = 0;

Q_SIGNALS:
    // The meter value (0...1) of each captured buffer, on the main thread.
    // Values may still arrive shortly after the take has stopped.
    void levelMeasured(float level);
};

// The recorder of the desktop, writing its takes to the temporary directory,
// owned by `parent`.
Recorder* createRecorder(QObject* parent);

} // namespace parlova::platform
