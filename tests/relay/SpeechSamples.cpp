#include "SpeechSamples.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace parlova::test {

QList<SpeechSample> SpeechSamples::all() {
    QList<SpeechSample> samples;
    const QDir dir(folder);
    if (dir.exists(QStringLiteral("goforward.raw")))
        samples.append({QStringLiteral("goforward"), dir.filePath(QStringLiteral("goforward.raw")),
                        true, QStringLiteral("go forward ten meters")});
    // Lines such as "<s> he was not an ill disposed young man </s> (file-id)".
    QFile transcription(dir.filePath(QStringLiteral("librivox/transcription")));
    if (!transcription.open(QIODevice::ReadOnly))
        return samples;
    static const QRegularExpression line(QStringLiteral("^<s>(.*)</s>\\s*\\((\\S+)\\)\\s*$"));
    for (const QByteArray& bytes : transcription.readAll().split('\n')) {
        const auto found = line.match(QString::fromUtf8(bytes).trimmed());
        if (!found.hasMatch())
            continue;
        const QString path = dir.filePath(QStringLiteral("librivox/%1.wav").arg(found.captured(2)));
        if (QFile::exists(path))
            samples.append({found.captured(2), path, false, found.captured(1).trimmed()});
    }
    return samples;
}

QByteArray SpeechSamples::m4a(const QStringList& inputArguments, QString* error) {
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("dictee.m4a"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                             QStringLiteral("error"), QStringLiteral("-y")}
                     << inputArguments
                     << QStringList{QStringLiteral("-ac"), QStringLiteral("1"),
                                    QStringLiteral("-ar"), QStringLiteral("16000"),
                                    QStringLiteral("-c:a"), QStringLiteral("aac"),
                                    QStringLiteral("-b:a"), QStringLiteral("48k"), output});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0) {
        if (error)
            *error =
                QStringLiteral("ffmpeg : %1 %2")
                    .arg(ffmpeg.errorString(), QString::fromUtf8(ffmpeg.readAllStandardError()));
        return {};
    }
    QFile file(output);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("ffmpeg n’a rien écrit");
        return {};
    }
    return file.readAll();
}

QByteArray SpeechSamples::m4a(const SpeechSample& sample, QString* error) {
    QStringList input;
    if (sample.raw)
        input << QStringLiteral("-f") << QStringLiteral("s16le") << QStringLiteral("-ar")
              << QStringLiteral("16000") << QStringLiteral("-ac") << QStringLiteral("1");
    input << QStringLiteral("-i") << sample.path;
    return m4a(input, error);
}

QStringList SpeechSamples::words(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[^\\w']+"));
    return text.toLower().split(separators, Qt::SkipEmptyParts);
}

double SpeechSamples::wordErrorRate(const QStringList& reference, const QStringList& hypothesis) {
    if (reference.isEmpty())
        return hypothesis.isEmpty() ? 0.0 : 1.0;
    // Levenshtein distance over words, one row at a time.
    std::vector<qsizetype> previous(size_t(hypothesis.size()) + 1);
    std::vector<qsizetype> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j)
        previous[j] = qsizetype(j);
    for (qsizetype i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= hypothesis.size(); ++j) {
            const qsizetype substitution =
                previous[size_t(j - 1)] + (reference[i - 1] == hypothesis[j - 1] ? 0 : 1);
            current[size_t(j)] =
                std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return double(previous.back()) / double(reference.size());
}

double SpeechSamples::seconds(const SpeechSample& sample) {
    const qint64 bytes = QFileInfo(sample.path).size() - (sample.raw ? 0 : 44);
    return double(std::max<qint64>(bytes, 0)) / (16000.0 * 2.0);
}

} // namespace parlova::test
