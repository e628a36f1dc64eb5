#include "core/domain/OfferText.h"

#include <QTest>

#include <ctime>
#include <limits>

using namespace parlova::core;
using namespace Qt::StringLiterals;

namespace {

QDateTime utc(int year, int month, int day, int hour = 12, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}

// Ordinary spaces in the expectations stand for no-break spaces.
QString nbsp(QString text) {
    return text.replace(u' ', QChar(0x00A0));
}

} // namespace

class TestOfferText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // Far from Paris on purpose: no phrase may depend on the machine's zone.
        qputenv("TZ", "Pacific/Kiritimati");
        tzset();
    }

    void dayIsTakenInParis() {
        const std::pair<QDateTime, QString> rows[] = {
            {utc(2026, 3, 2), u"2 mars"_s},
            {utc(2026, 6, 30, 22, 30), u"1er juillet"_s}, // summer: UTC+2
            {utc(2026, 6, 30, 21, 59), u"30 juin"_s},
            {utc(2026, 8, 15), u"15 août"_s},
            {utc(2026, 10, 24, 22, 30), u"25 octobre"_s}, // the night the clocks go back
            {QDateTime(QDate(2026, 8, 31), QTime(20, 0), QTimeZone("America/New_York")),
             u"1er septembre"_s},
        };
        for (const auto& [date, expected] : rows)
            QCOMPARE(OfferText::day(date), expected);
    }

    void groupedAndAmountUseNoBreakSpaces() {
        const std::pair<qint64, QString> numbers[] = {
            {999, u"999"_s},
            {1000, u"1 000"_s},
            {1234567, u"1 234 567"_s},
            {-1000, u"-1 000"_s},
            {std::numeric_limits<qint64>::min(), u"-9 223 372 036 854 775 808"_s},
        };
        for (const auto& [number, expected] : numbers) {
            QCOMPARE(OfferText::grouped(number), nbsp(expected));
            QVERIFY(!OfferText::grouped(number).contains(u' '));
        }

        const std::tuple<qint64, QString, QString> amounts[] = {
            {1200, u"EUR"_s, u"12 €"_s},
            {1205, u"eur"_s, u"12,05 €"_s},
            {123456, u"eur"_s, u"1 234,56 €"_s},
            {100000, u"chf"_s, u"1 000 CHF"_s},
            // The minus survives when the whole units are zero.
            {-5, u"eur"_s, u"-0,05 €"_s},
            {-123400, u"eur"_s, u"-1 234 €"_s},
            {std::numeric_limits<qint64>::min(), u"eur"_s, u"-92 233 720 368 547 758,08 €"_s},
        };
        for (const auto& [cents, currency, expected] : amounts)
            QCOMPARE(OfferText::amount(cents, currency), nbsp(expected));
    }

    void offerLine() {
        // 23:30 UTC on the last day of January is already February in Paris.
        const QDateTime end = utc(2026, 1, 31, 23, 30);
        using Offer = Account::Offer;
        QCOMPARE(OfferText::line(Offer::trial(end), 0), u"Essai Pro jusqu\u2019au 1er février"_s);
        QCOMPARE(OfferText::line(Offer::gifted(end), 0), u"Pro offert jusqu\u2019au 1er février"_s);
        QCOMPARE(OfferText::line(Offer::pro(end), 0), u"Pro"_s);
        QCOMPARE(OfferText::line(Offer::free(), -12), u"Limite de la semaine atteinte"_s);
        QCOMPARE(OfferText::line(Offer::free(), 1), u"1 mot restant cette semaine"_s);
        QCOMPARE(OfferText::line(Offer::free(), 1500),
                 nbsp(u"1 500"_s) + u" mots restants cette semaine"_s);
    }

    void subscriptionState() {
        const std::tuple<QString, bool, QString> rows[] = {
            {u"past_due"_s, true, u"Résilié : Pro jusqu\u2019au 1er mai"_s}, // cancellation wins
            {u"past_due"_s, false, u"Paiement refusé : mettez à jour votre moyen de paiement"_s},
            {u"trialing"_s, false, u"Premier paiement le 1er mai"_s},
            {u"PAST_DUE"_s, false, u"Renouvellement le 1er mai"_s},
        };
        for (const auto& [status, cancels, expected] : rows) {
            const Account::Subscription subscription{Account::Subscription::Period::monthly, status,
                                                     utc(2026, 4, 30, 23, 0), cancels};
            QCOMPARE(OfferText::subscriptionState(subscription), expected);
        }
    }

    void pricesAndCounters() {
        const Account::Prices prices{u"eur"_s, 1200, 12000, 1000};
        QCOMPARE(OfferText::price(Account::Subscription::Period::yearly, prices),
                 nbsp(u"120 €"_s) + u" par an, soit "_s + nbsp(u"10 €"_s) + u" par mois"_s);
        QCOMPARE(OfferText::friendsLabel(0), u"ami inscrit"_s);
        QCOMPARE(OfferText::friendsLabel(2), u"amis inscrits"_s);
    }
};

QTEST_GUILESS_MAIN(TestOfferText)
#include "tst_offertext.moc"
