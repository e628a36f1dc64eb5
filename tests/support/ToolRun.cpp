#include "ToolRun.h"

#include <QProcess>

#include <cstring>

namespace parlova::test {

QStringList ToolRun::lines() const {
    QStringList result = QString::fromUtf8(out).split(u'\n');
    if (result.constLast().isEmpty())
        result.removeLast();
    return result;
}

ToolRun ToolRun::of(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& environment, const QByteArray& input,
                    int timeoutMs) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

std::vector<float> ToolRun::samplesOf(const QString& path) {
    const QByteArray bytes =
        of(QStringLiteral("ffmpeg"),
           {"-v", "error", "-nostdin", "-i", path, "-f", "f32le", "-ar", "16000", "-ac", "1", "-"})
            .out;
    std::vector<float> samples(bytes.size() / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

} // namespace parlova::test
