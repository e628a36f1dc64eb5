// The relay's pieces that need no server: weeks, addresses, codes, audio
// decoding and the external-command engine.

#include "SpeechSamples.h"
#include "relay/AudioDecoder.h"
#include "relay/CommandEngine.h"
#include "relay/EmailAddress.h"
#include "relay/ParisWeek.h"
#include "relay/ReferralCodes.h"
#include "relay/WordCount.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

using namespace parlova::relay;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

namespace {

qint64 at(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch();
}

} // namespace

class TestRelayPieces : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void weekStartsOnMondayMidnightInParis() {
        const std::tuple<const char*, const char*, const char*> rows[] = {
            // Winter (UTC+1): Monday 00:00 in Paris is Sunday 23:00 UTC, even
            // at the very instant of the reset.
            {"2026-01-07T12:00:00Z", "2026-01-04T23:00:00Z", "2026-01-11T23:00:00Z"},
            {"2026-01-11T23:00:00Z", "2026-01-11T23:00:00Z", "2026-01-18T23:00:00Z"},
            // The week of the spring change (29 March 2026) ends at 22:00 UTC.
            {"2026-03-25T12:00:00Z", "2026-03-22T23:00:00Z", "2026-03-29T22:00:00Z"},
            {"2026-07-01T08:00:00Z", "2026-06-28T22:00:00Z", "2026-07-05T22:00:00Z"},
        };
        for (const auto& [instant, start, next] : rows) {
            QCOMPARE(ParisWeek::isoDate(ParisWeek::start(at(instant))), QLatin1String(start));
            QCOMPARE(ParisWeek::isoDate(ParisWeek::nextStart(at(instant))), QLatin1String(next));
        }
    }

    void emailAddresses() {
        QCOMPARE(EmailAddress::normalized(u"  Alice.Martin@Example.FR \n"_s).value_or(QString()),
                 u"alice.martin@example.fr"_s);
        QCOMPARE(EmailAddress::normalized(u"a+b@mail.example.co.uk"_s).value_or(QString()),
                 u"a+b@mail.example.co.uk"_s);
        for (const QString& bad :
             {u"alice.example.com"_s, u"a@b@example.com"_s, u"alice@localhost"_s,
              u"a..b@example.com"_s, u"al ice@example.com"_s, u"a@example-.com"_s,
              u"a@example.123"_s, u"élodie@example.fr"_s, QString(250, u'a') + u"@example.com"_s})
            QVERIFY2(!EmailAddress::normalized(bad), qPrintable(bad));
    }

    void referralCodes() {
        QCOMPARE(ReferralCodes::normalized(u" k7m-2qx "_s).value_or(QString()), u"K7M2QX"_s);
        QCOMPARE(ReferralCodes::normalized(u"K7M\u20132QX"_s).value_or(QString()), u"K7M2QX"_s);
        for (const char* bad : {"K7M2Q0", "K7M2QXY", "K7M_QX"})
            QVERIFY2(!ReferralCodes::normalized(QString::fromLatin1(bad)), bad);
        for (int i = 0; i < 200; ++i) {
            const QString code = ReferralCodes::generate();
            QCOMPARE(ReferralCodes::normalized(code).value_or(QString()), code);
        }
    }

    // The count that the weekly cap charges: words between blanks (no-break
    // spaces included) that hold a letter or a digit.
    void wordCount() {
        const std::pair<const char16_t*, int> rows[] = {
            {u"", 0},
            {u"  \n\t ", 0},
            {u"Bonjour, le monde !", 3},
            {u"Bonjour\u00a0? Oui\u202f!", 2},
            {u"l’homme aujourd'hui s’en va", 4},
            {u"« Quoi » — rien … ?", 2},
            {u"Il a 42 ans, 3,5 kg et 10 000 € le 12/05.", 11},
            {u"porte-monnaie C++ e-mail", 3},
            {u"x", 1},
        };
        for (const auto& [text, words] : rows)
            QVERIFY2(WordCount::count(QString::fromUtf16(text)) == words,
                     qPrintable(QString::fromUtf16(text)));
    }

    void decodesTakesTo16kHzMono() {
        const QByteArray take = SpeechSamples::tone(2.0);
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

    void commandEngineGetsAWavFileAndTheLanguage() {
        QTemporaryDir work;
        const std::vector<qint16> samples(16000, 1000);
        // Prints the file's size, its header and the language; the file must be gone after.
        CommandEngine engine(u"echo \"$(stat -c %s {wav}) $(head -c 4 {wav}) "
                             "$PARLOVA_LANGUE\"; echo {wav} > "_s +
                                 work.filePath(u"chemin"_s),
                             work.filePath(u"dictees"_s));
        const Transcription result = engine.transcribe(samples, {}, u"fr"_s);
        QCOMPARE(result.outcome, Transcription::Outcome::Text);
        QCOMPARE(result.text.trimmed(), u"32044 RIFF fr"_s);
        QFile recorded(work.filePath(u"chemin"_s));
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QString wavPath = QString::fromUtf8(recorded.readAll()).trimmed();
        QVERIFY(wavPath.startsWith(work.filePath(u"dictees"_s)));
        QVERIFY(!QFile::exists(wavPath));
    }
};

QTEST_GUILESS_MAIN(TestRelayPieces)
#include "tst_relaypieces.moc"
