// The relay's pieces that need no server: weeks, addresses, codes, word
// counts, options, audio decoding and the external-command engine.

#include "SpeechSamples.h"
#include "relay/AudioDecoder.h"
#include "relay/CommandEngine.h"
#include "relay/EmailAddress.h"
#include "relay/Options.h"
#include "relay/ParisWeek.h"
#include "relay/ReferralCodes.h"
#include "relay/WordCount.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace parlova::relay;
using parlova::test::SpeechSamples;

namespace {

qint64 at(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch();
}

// A sine tone of the given length as an AAC take.
QByteArray tone(double seconds) {
    QString error;
    const QByteArray bytes = SpeechSamples::m4a(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds)},
        &error);
    if (bytes.isEmpty())
        qWarning("%s", qPrintable(error));
    return bytes;
}

} // namespace

class TestRelayPieces : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void weekStartsOnMondayMidnightInParis_data() {
        QTest::addColumn<qint64>("instant");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("next");
        // Winter (UTC+1): Monday 00:00 in Paris is Sunday 23:00 UTC.
        QTest::newRow("wednesday") << at("2026-01-07T12:00:00Z") << "2026-01-04T23:00:00Z"
                                   << "2026-01-11T23:00:00Z";
        QTest::newRow("sunday evening UTC is already Monday in Paris")
            << at("2026-01-11T23:30:00Z") << "2026-01-11T23:00:00Z"
            << "2026-01-18T23:00:00Z";
        QTest::newRow("the very instant of the reset")
            << at("2026-01-11T23:00:00Z") << "2026-01-11T23:00:00Z"
            << "2026-01-18T23:00:00Z";
        // The week of the spring change (29 March 2026) ends at 22:00 UTC.
        QTest::newRow("across the change to summer time")
            << at("2026-03-25T12:00:00Z") << "2026-03-22T23:00:00Z"
            << "2026-03-29T22:00:00Z";
        QTest::newRow("summer") << at("2026-07-01T08:00:00Z") << "2026-06-28T22:00:00Z"
                                << "2026-07-05T22:00:00Z";
    }
    void weekStartsOnMondayMidnightInParis() {
        QFETCH(qint64, instant);
        QFETCH(QString, start);
        QFETCH(QString, next);
        QCOMPARE(ParisWeek::isoDate(ParisWeek::start(instant)), start);
        QCOMPARE(ParisWeek::isoDate(ParisWeek::nextStart(instant)), next);
    }

    void frenchDays() {
        QCOMPARE(ParisWeek::frenchDay(at("2026-02-28T23:30:00Z")), QStringLiteral("1er mars 2026"));
        QCOMPARE(ParisWeek::frenchDay(at("2026-08-02T10:00:00Z")), QStringLiteral("2 août 2026"));
    }

    void emailAddresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("plain") << "alice@example.com"
                               << "alice@example.com";
        QTest::newRow("blanks and capitals") << "  Alice.Martin@Example.FR \n"
                                             << "alice.martin@example.fr";
        QTest::newRow("plus and sub-domain") << "a+b@mail.example.co.uk"
                                             << "a+b@mail.example.co.uk";
        QTest::newRow("no at") << "alice.example.com"
                               << "";
        QTest::newRow("two ats") << "a@b@example.com"
                                 << "";
        QTest::newRow("no domain dot") << "alice@localhost"
                                       << "";
        QTest::newRow("empty local part") << "@example.com"
                                          << "";
        QTest::newRow("double dot") << "a..b@example.com"
                                    << "";
        QTest::newRow("space inside") << "al ice@example.com"
                                      << "";
        QTest::newRow("hyphen at label end") << "a@example-.com"
                                             << "";
        QTest::newRow("numeric top level") << "a@example.123"
                                           << "";
        QTest::newRow("accented") << "élodie@example.fr"
                                  << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("too long") << QString(250, u'a') + QStringLiteral("@example.com") << "";
    }
    void emailAddresses() {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QCOMPARE(EmailAddress::normalized(text).value_or(QString()), stored);
    }

    void referralCodes() {
        QCOMPARE(ReferralCodes::normalized(QStringLiteral(" k7m-2qx ")).value_or(QString()),
                 QStringLiteral("K7M2QX"));
        QCOMPARE(ReferralCodes::normalized(QStringLiteral("K7M\u20132QX")).value_or(QString()),
                 QStringLiteral("K7M2QX"));
        for (const char* bad : {"K7M2Q0", "K7M2QO", "K7M2QXY", "K7M2Q", "K7M_QX", ""})
            QVERIFY2(!ReferralCodes::normalized(QString::fromLatin1(bad)), bad);
        for (int i = 0; i < 200; ++i) {
            const QString code = ReferralCodes::generate();
            QCOMPARE(ReferralCodes::normalized(code).value_or(QString()), code);
        }
    }

    void wordCounts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("words");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blanks") << " \n\t " << 0;
        QTest::newRow("sentence") << "Bonjour, comment allez-vous ?" << 3;
        QTest::newRow("apostrophes") << "C'est aujourd’hui." << 2;
        QTest::newRow("lone dash") << "un — deux" << 2;
        QTest::newRow("numbers") << "le 14 juillet 1789" << 4;
    }
    void wordCounts() {
        QFETCH(QString, text);
        QFETCH(int, words);
        QCOMPARE(WordCount::count(text), words);
    }

    void options() {
        const auto defaults = Options::parse({});
        QVERIFY(defaults.options);
        QCOMPARE(defaults.options->port, 8443);
        QCOMPARE(defaults.options->engine, EngineKind::PocketSphinx);
        QVERIFY(defaults.options->dataDir.endsWith(QStringLiteral("parlova-relais")));
        QVERIFY(!defaults.options->control);

        const auto chosen = Options::parse({"--port", "0", "--donnees", "/tmp/r", "--controle",
                                            "--commande", "whisper-cli -f", "--sans-paiement"});
        QVERIFY(chosen.options);
        QCOMPARE(chosen.options->port, 0);
        QCOMPARE(chosen.options->dataDir, QStringLiteral("/tmp/r"));
        QCOMPARE(chosen.options->engine, EngineKind::Command);
        QCOMPARE(chosen.options->command, QStringLiteral("whisper-cli -f"));
        QVERIFY(chosen.options->control);
        QVERIFY(!chosen.options->paymentsEnabled);

        for (const QStringList& bad :
             {QStringList{"--port", "70000"}, QStringList{"--port"},
              QStringList{"--moteur", "whisper"}, QStringList{"--moteur", "commande"},
              QStringList{"--inconnue"}}) {
            const auto parsed = Options::parse(bad);
            QVERIFY(!parsed.options);
            QVERIFY(!parsed.error.isEmpty());
        }
    }

    void decodesTakesTo16kHzMono() {
        const QByteArray take = tone(2.0);
        QVERIFY(!take.isEmpty());
        const auto decoded = AudioDecoder::decode(take, 130);
        QVERIFY(!decoded.failure);
        // AAC adds priming samples; the length stays close to two seconds.
        QVERIFY2(std::abs(double(decoded.samples.size()) - 32000.0) < 2000.0,
                 qPrintable(QString::number(decoded.samples.size())));
        const auto loudest = std::max_element(
            decoded.samples.begin(), decoded.samples.end(),
            [](qint16 a, qint16 b) { return std::abs(int(a)) < std::abs(int(b)); });
        QVERIFY(std::abs(int(*loudest)) > 5000);
    }

    void refusesWhatIsNotAudio() {
        QByteArray noise;
        for (int i = 0; i < 20000; ++i)
            noise.append(char((i * 7919) % 251));
        QCOMPARE(AudioDecoder::decode(noise, 130).failure, AudioDecoder::Failure::Unreadable);
        QCOMPARE(AudioDecoder::decode(QByteArray(), 130).failure,
                 AudioDecoder::Failure::Unreadable);
        // A take cut in the middle of its header.
        QCOMPARE(AudioDecoder::decode(tone(1.0).left(40), 130).failure,
                 AudioDecoder::Failure::Unreadable);
        QCOMPARE(AudioDecoder::decode(tone(3.0), 2.0).failure, AudioDecoder::Failure::TooLong);
    }

    void commandEngineGetsAWavFileAndTheLanguage() {
        QTemporaryDir work;
        const std::vector<qint16> samples(16000, 1000);
        // Prints the file's size, its header and the language; the file must be gone after.
        CommandEngine engine(QStringLiteral("echo \"$(stat -c %s {wav}) $(head -c 4 {wav}) "
                                            "$PARLOVA_LANGUE\"; echo {wav} > ") +
                                 work.filePath(QStringLiteral("chemin")),
                             work.filePath(QStringLiteral("dictees")));
        const Transcription result = engine.transcribe(samples, QStringLiteral("fr"));
        QCOMPARE(result.outcome, Transcription::Outcome::Text);
        QCOMPARE(result.text.trimmed(), QStringLiteral("32044 RIFF fr"));
        QFile recorded(work.filePath(QStringLiteral("chemin")));
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QString wavPath = QString::fromUtf8(recorded.readAll()).trimmed();
        QVERIFY(wavPath.startsWith(work.filePath(QStringLiteral("dictees"))));
        QVERIFY(!QFile::exists(wavPath));
    }

    void commandEngineFailures() {
        QTemporaryDir work;
        const std::vector<qint16> samples(1600, 0);
        CommandEngine missing(QStringLiteral("/nonexistent/whisper"), work.path());
        QCOMPARE(missing.transcribe(samples, std::nullopt).outcome,
                 Transcription::Outcome::Misconfigured);
        CommandEngine failing(QStringLiteral("echo partiel; exit 3; true"), work.path());
        const Transcription failed = failing.transcribe(samples, std::nullopt);
        QCOMPARE(failed.outcome, Transcription::Outcome::Failed);
        QVERIFY(failed.detail.contains(QStringLiteral("3")));
        QVERIFY(QDir(work.path()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRelayPieces)
#include "tst_relaypieces.moc"
