// Real speech through the local relay: each recording of Debian's
// pocketsphinx-testdata is encoded as an AAC take, uploaded to "api/dicter"
// of a relay running the PocketSphinx engine, and compared with its
// reference. Prints the word error rate and the real-time factor, both of
// the engine (decoding and transcription, from the relay's journal) and of
// the whole exchange.

#include "RelayProcess.h"
#include "SpeechSamples.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <cstdio>

using parlova::test::RelayProcess;
using parlova::test::SpeechSample;
using parlova::test::SpeechSamples;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("PARLOVA_RELAIS"))
        qputenv("PARLOVA_RELAIS", PARLOVA_RELAIS_PATH);
    const QList<SpeechSample> samples = SpeechSamples::all();
    if (samples.isEmpty()) {
        std::fprintf(stderr, "Paquet pocketsphinx-testdata absent.\n");
        return 1;
    }
    RelayProcess relay(RelayProcess::Settings().withEngine(QStringLiteral("pocketsphinx")));
    if (!relay.start()) {
        std::fprintf(stderr, "relais : %s\n", qPrintable(relay.errorString()));
        return 1;
    }
    const QString token = relay.signIn(QStringLiteral("wer@example.com"));

    double errors = 0;
    qsizetype words = 0;
    double audio = 0;
    double exchange = 0;
    for (const SpeechSample& sample : samples) {
        QString error;
        const QByteArray take = SpeechSamples::m4a(sample, &error);
        QElapsedTimer timer;
        timer.start();
        const auto answer = relay.dictate(token, take, QStringLiteral("en"), 120000);
        const double elapsed = double(timer.elapsed()) / 1000.0;
        if (answer.status != 200) {
            std::fprintf(stderr, "%s : %d %s\n", qPrintable(sample.name), answer.status,
                         answer.body.constData());
            return 1;
        }
        const QStringList reference = SpeechSamples::words(sample.reference);
        const QString text = answer.json.value(QStringLiteral("texte")).toString();
        const double wer = SpeechSamples::wordErrorRate(reference, SpeechSamples::words(text));
        std::printf("%-42s %5.1f s  WER %5.1f %%  %s\n", qPrintable(sample.name),
                    SpeechSamples::seconds(sample), wer * 100, qPrintable(text));
        errors += wer * double(reference.size());
        words += reference.size();
        audio += SpeechSamples::seconds(sample);
        exchange += elapsed;
    }

    // "Dictée de 2.8 s transcrite en 420 ms : 4 mots"
    static const QRegularExpression line(
        QStringLiteral("Dictée de ([0-9.]+) s transcrite en (\\d+) ms"));
    double engineSeconds = 0;
    auto found = line.globalMatch(relay.log());
    while (found.hasNext())
        engineSeconds += found.next().captured(2).toDouble() / 1000.0;

    std::printf("\n%d enregistrements, %.1f s d’audio, %lld mots de référence\n",
                int(samples.size()), audio, static_cast<long long>(words));
    std::printf("taux d’erreur de mots (WER) : %.1f %%\n", 100.0 * errors / double(words));
    std::printf("facteur temps réel du moteur (décodage + PocketSphinx) : %.3f\n",
                engineSeconds / audio);
    std::printf("facteur temps réel de l’échange complet (HTTPS inclus) : %.3f\n",
                exchange / audio);
    std::printf("FIGURE|PocketSphinx : mots erronés (WER)|%.1f %%|—|%lld mots de référence|\n",
                100.0 * errors / double(words), static_cast<long long>(words));
    std::printf("FIGURE|PocketSphinx : facteur temps réel|%.3f|—|échange complet %.3f|\n",
                engineSeconds / audio, exchange / audio);
    return 0;
}
