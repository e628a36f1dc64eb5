#include "SpeechSamples.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace parlova::test {

QList<SpeechSample> SpeechSamples::all() {
    QList<SpeechSample> samples;
    const QDir dir(folder);
    if (dir.exists(u"goforward.raw"_s))
        samples.append(
            {u"goforward"_s, dir.filePath(u"goforward.raw"_s), true, u"go forward ten meters"_s});
    // Lines such as "<s> he was not an ill disposed young man </s> (file-id)".
    QFile transcription(dir.filePath(u"librivox/transcription"_s));
    if (!transcription.open(QIODevice::ReadOnly))
        return samples;
    static const QRegularExpression line(u"^<s>(.*)</s>\\s*\\((\\S+)\\)\\s*$"_s);
    for (const QByteArray& bytes : transcription.readAll().split('\n')) {
        const auto found = line.match(QString::fromUtf8(bytes).trimmed());
        if (!found.hasMatch())
            continue;
        const QString path = dir.filePath(u"librivox/%1.wav"_s.arg(found.captured(2)));
        if (QFile::exists(path))
            samples.append({found.captured(2), path, false, found.captured(1).trimmed()});
    }
    return samples;
}

QByteArray SpeechSamples::m4a(const QStringList& inputArguments, QString* error) {
    QTemporaryDir dir;
    const QString output = dir.filePath(u"dictee.m4a"_s);
    const ToolRun ffmpeg = ToolRun::of(
        u"ffmpeg"_s, QStringList{u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-y"_s}
                         << inputArguments
                         << QStringList{u"-ac"_s, u"1"_s, u"-ar"_s, u"16000"_s, u"-c:a"_s, u"aac"_s,
                                        u"-b:a"_s, u"48k"_s, output});
    QFile file(output);
    if (!ffmpeg.ok() || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = u"ffmpeg : %1"_s.arg(QString::fromUtf8(ffmpeg.err));
        return {};
    }
    return file.readAll();
}

QByteArray SpeechSamples::tone(double seconds, QString* error) {
    return m4a({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=frequency=300:duration=%1"_s.arg(seconds)},
               error);
}

QByteArray SpeechSamples::m4a(const SpeechSample& sample, QString* error) {
    QStringList input;
    if (sample.raw)
        input << u"-f"_s << u"s16le"_s << u"-ar"_s << u"16000"_s << u"-ac"_s << u"1"_s;
    input << u"-i"_s << sample.path;
    return m4a(input, error);
}

QStringList SpeechSamples::words(const QString& text) {
    static const QRegularExpression separators(u"[^\\w']+"_s);
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
