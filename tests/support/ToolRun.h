#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <vector>

namespace parlova::test {

// One run of an external program to its end, with what it printed. `status`
// is -1 when it did not start, crashed or ran over the time limit (then killed).
struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;

    bool ok() const { return status == 0; }
    // Standard output as lines, without the empty one after the last newline.
    QStringList lines() const;

    static ToolRun
    of(const QString& program, const QStringList& arguments,
       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
       const QByteArray& input = {}, int timeoutMs = 60000);
    // A sound file as ffmpeg decodes it to 16 kHz mono samples.
    static std::vector<float> samplesOf(const QString& path);
};

} // namespace parlova::test
