// The relay's pieces that need no server: weeks, addresses, codes, client
// keys and word counts. Audio decoding and the command engine are proven by dictations.

#include "relay/EmailAddress.h"
#include "relay/ParisWeek.h"
#include "relay/ReferralCodes.h"
#include "relay/SignInService.h"
#include "relay/WordCount.h"

#include <QDateTime>
#include <QTest>

using namespace parlova::relay;
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

    // Sign-in limits count a client by its IPv4 address, or by the /64 of an
    // IPv6 one, which one subscriber commonly holds whole.
    void clientKeys() {
        QCOMPARE(SignInService::clientKey(u"::ffff:127.0.0.3"_s), u"127.0.0.3"_s);
        QCOMPARE(SignInService::clientKey(u"2001:db8:1:2::7"_s),
                 SignInService::clientKey(u"2001:DB8:1:2:ffff::1"_s));
        QVERIFY(SignInService::clientKey(u"2001:db8:1:2::7"_s) !=
                SignInService::clientKey(u"2001:db8:1:3::7"_s));
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
};

QTEST_GUILESS_MAIN(TestRelayPieces)
#include "tst_relaypieces.moc"
