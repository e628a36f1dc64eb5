// Real human speech through the whole relay: Debian's PocketSphinx test
// recordings, encoded as AAC takes the way Parlova records them, uploaded to
// "api/dicter" of a relay running the PocketSphinx engine, come back close to
// what was said.

#include "RelayProcess.h"
#include "Rig.h"
#include "SpeechSamples.h"

#include <QTest>

using parlova::test::RelayProcess;
using parlova::test::SpeechSample;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

class TestRelaySpeech : public QObject {
    Q_OBJECT

    RelayProcess m_relay{RelayProcess::Settings().withEngine(u"pocketsphinx"_s)};
    QString m_token;

private Q_SLOTS:
    void initTestCase() {
        if (SpeechSamples::all().isEmpty()) {
            if (parlova::test::rigPresent())
                QFAIL("pocketsphinx-testdata is missing");
            QSKIP("needs the pocketsphinx-testdata package");
        }
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        m_token = m_relay.signIn(u"speech@example.com"_s);
        QVERIFY2(!m_token.isEmpty(), qPrintable(m_relay.errorString()));
    }

    void recordingsAreTranscribed() {
        int referenceWords = 0;
        double errors = 0;
        int counted = 0;
        for (const SpeechSample& sample : SpeechSamples::all()) {
            QString error;
            const QByteArray take = SpeechSamples::m4a(sample, &error);
            QVERIFY2(!take.isEmpty(), qPrintable(error));
            const auto answer = m_relay.dictate(m_token, take, u"en"_s, 120000);
            QVERIFY2(answer.status == 200, answer.body.constData());
            const QString text = answer.json.value(u"texte"_s).toString();
            const QStringList reference = SpeechSamples::words(sample.reference);
            const QStringList heard = SpeechSamples::words(text);
            const double wer = SpeechSamples::wordErrorRate(reference, heard);
            qInfo("%s: WER %.0f %% — « %s »", qPrintable(sample.name), wer * 100, qPrintable(text));
            QCOMPARE(answer.json.value(u"mots"_s).toInt(), int(heard.size()));
            errors += wer * double(reference.size());
            referenceWords += int(reference.size());
            counted += answer.json.value(u"mots"_s).toInt();
        }
        const double overall = errors / referenceWords;
        qInfo("WER over %d words: %.1f %%", referenceWords, overall * 100);
        QVERIFY2(overall < 0.5, qPrintable(QString::number(overall)));
        // Every word heard was counted against the week.
        QCOMPARE(
            m_relay.call("GET", u"api/compte"_s, m_token).json[u"semaine"_s][u"mots"_s].toInt(),
            counted);
    }
};

QTEST_GUILESS_MAIN(TestRelaySpeech)
#include "tst_relayspeech.moc"
