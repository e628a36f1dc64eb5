#include "ToolRun.h"

#include <QProcess>

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

} // namespace parlova::test
