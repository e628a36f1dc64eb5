#include "core/OfferText.h"

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

    void dayIsTakenInParis_data() {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("expected");

        QTest::newRow("first of a month") << utc(2026, 3, 1) << u"1er mars"_s;
        QTest::newRow("second of a month") << utc(2026, 3, 2) << u"2 mars"_s;
        QTest::newRow("winter 23:30 UTC, last day") << utc(2026, 1, 31, 23, 30) << u"1er février"_s;
        QTest::newRow("summer 22:30 UTC, last day") << utc(2026, 6, 30, 22, 30) << u"1er juillet"_s;
        QTest::newRow("summer 21:59 UTC stays") << utc(2026, 6, 30, 21, 59) << u"30 juin"_s;
        QTest::newRow("new year's eve") << utc(2025, 12, 31, 23, 0) << u"1er janvier"_s;
        QTest::newRow("just before Paris midnight")
            << utc(2026, 12, 31, 22, 59) << u"31 décembre"_s;
        QTest::newRow("leap day") << utc(2028, 2, 28, 23, 0) << u"29 février"_s;
        QTest::newRow("clocks go back") << utc(2026, 10, 24, 22, 30) << u"25 octobre"_s;
        QTest::newRow("other zone given")
            << QDateTime(QDate(2026, 8, 31), QTime(20, 0), QTimeZone("America/New_York"))
            << u"1er septembre"_s;
        const char* months[] = {"janvier",   "février", "mars",     "avril",
                                "mai",       "juin",    "juillet",  "août",
                                "septembre", "octobre", "novembre", "décembre"};
        for (int month = 1; month <= 12; ++month)
            QTest::addRow("month %d", month)
                << utc(2027, month, 15) << u"15 "_s + QString::fromUtf8(months[month - 1]);
    }

    void dayIsTakenInParis() {
        QFETCH(QDateTime, date);
        QFETCH(QString, expected);
        QCOMPARE(OfferText::day(date), expected);
    }

    void groupedPutsNoBreakSpacesEveryThreeDigits_data() {
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << qint64(0) << u"0"_s;
        QTest::newRow("999") << qint64(999) << u"999"_s;
        QTest::newRow("1000") << qint64(1000) << nbsp(u"1 000"_s);
        QTest::newRow("1500") << qint64(1500) << nbsp(u"1 500"_s);
        QTest::newRow("123456") << qint64(123456) << nbsp(u"123 456"_s);
        QTest::newRow("1234567") << qint64(1234567) << nbsp(u"1 234 567"_s);
        QTest::newRow("-1") << qint64(-1) << u"-1"_s;
        QTest::newRow("-999") << qint64(-999) << u"-999"_s;
        QTest::newRow("-1000") << qint64(-1000) << nbsp(u"-1 000"_s);
        QTest::newRow("largest") << std::numeric_limits<qint64>::max()
                                 << nbsp(u"9 223 372 036 854 775 807"_s);
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min()
                                  << nbsp(u"-9 223 372 036 854 775 808"_s);
    }

    void groupedPutsNoBreakSpacesEveryThreeDigits() {
        QFETCH(qint64, number);
        QFETCH(QString, expected);
        const QString text = OfferText::grouped(number);
        QCOMPARE(text, expected);
        QVERIFY(!text.contains(u' '));
    }

    void amount_data() {
        QTest::addColumn<qint64>("cents");
        QTest::addColumn<QString>("currency");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << qint64(0) << u"eur"_s << nbsp(u"0 €"_s);
        QTest::newRow("whole") << qint64(1200) << u"eur"_s << nbsp(u"12 €"_s);
        QTest::newRow("yearly") << qint64(12000) << u"eur"_s << nbsp(u"120 €"_s);
        QTest::newRow("cents") << qint64(1250) << u"eur"_s << nbsp(u"12,50 €"_s);
        QTest::newRow("cents below ten") << qint64(1205) << u"eur"_s << nbsp(u"12,05 €"_s);
        QTest::newRow("grouped") << qint64(123456) << u"eur"_s << nbsp(u"1 234,56 €"_s);
        QTest::newRow("EUR in capitals") << qint64(1000) << u"EUR"_s << nbsp(u"10 €"_s);
        QTest::newRow("usd") << qint64(999) << u"usd"_s << nbsp(u"9,99 USD"_s);
        QTest::newRow("chf") << qint64(100000) << u"chf"_s << nbsp(u"1 000 CHF"_s);
        QTest::newRow("negative") << qint64(-1250) << u"eur"_s << nbsp(u"-12,50 €"_s);
        QTest::newRow("negative below one unit") << qint64(-50) << u"eur"_s << nbsp(u"-0,50 €"_s);
        QTest::newRow("negative few cents") << qint64(-5) << u"eur"_s << nbsp(u"-0,05 €"_s);
        QTest::newRow("negative grouped") << qint64(-123400) << u"eur"_s << nbsp(u"-1 234 €"_s);
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << u"eur"_s
                                  << nbsp(u"-92 233 720 368 547 758,08 €"_s);
        QTest::newRow("no currency") << qint64(1200) << QString() << u"12"_s;
    }

    void amount() {
        QFETCH(qint64, cents);
        QFETCH(QString, currency);
        QFETCH(QString, expected);
        QCOMPARE(OfferText::amount(cents, currency), expected);
    }

    void offerLine_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("wordsLeft");
        QTest::addColumn<QString>("expected");

        using K = Account::Offer::Kind;
        QTest::newRow("trial") << int(K::trial) << qint64(0)
                               << u"Essai Pro jusqu\u2019au 1er avril"_s;
        QTest::newRow("gifted") << int(K::gifted) << qint64(0)
                                << u"Pro offert jusqu\u2019au 1er avril"_s;
        QTest::newRow("pro with an end shows no date") << int(K::pro) << qint64(0) << u"Pro"_s;
        QTest::newRow("free, none left")
            << int(K::free) << qint64(0) << u"Limite de la semaine atteinte"_s;
        QTest::newRow("free, overdrawn")
            << int(K::free) << qint64(-12) << u"Limite de la semaine atteinte"_s;
        QTest::newRow("free, one") << int(K::free) << qint64(1) << u"1 mot restant cette semaine"_s;
        QTest::newRow("free, two")
            << int(K::free) << qint64(2) << u"2 mots restants cette semaine"_s;
        QTest::newRow("free, 1500")
            << int(K::free) << qint64(1500) << nbsp(u"1 500"_s) + u" mots restants cette semaine"_s;
    }

    void offerLine() {
        QFETCH(int, kind);
        QFETCH(qint64, wordsLeft);
        QFETCH(QString, expected);
        // 22:30 UTC on the last day of March is already April in Paris.
        const QDateTime end = utc(2026, 3, 31, 22, 30);
        const Account::Offer offers[] = {Account::Offer::trial(end), Account::Offer::gifted(end),
                                         Account::Offer::pro(end), Account::Offer::free()};
        QCOMPARE(OfferText::line(offers[kind], wordsLeft), expected);
    }

    void subscriptionState_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("cancels");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cancellation wins")
            << u"past_due"_s << true << u"Résilié : Pro jusqu\u2019au 1er mai"_s;
        QTest::newRow("payment failed")
            << u"past_due"_s << false
            << u"Paiement refusé : mettez à jour votre moyen de paiement"_s;
        QTest::newRow("trialing") << u"trialing"_s << false << u"Premier paiement le 1er mai"_s;
        QTest::newRow("active") << u"active"_s << false << u"Renouvellement le 1er mai"_s;
        QTest::newRow("status in capitals")
            << u"PAST_DUE"_s << false << u"Renouvellement le 1er mai"_s;
    }

    void subscriptionState() {
        QFETCH(QString, status);
        QFETCH(bool, cancels);
        QFETCH(QString, expected);
        const Account::Subscription subscription{Account::Subscription::Period::monthly, status,
                                                 utc(2026, 4, 30, 23, 0), cancels};
        QCOMPARE(OfferText::subscriptionState(subscription), expected);
    }

    void plansAndPrices() {
        using Period = Account::Subscription::Period;
        const Account::Prices prices{u"eur"_s, 1200, 12000, 1000};
        QCOMPARE(OfferText::planName(Period::monthly), u"Pro mensuel"_s);
        QCOMPARE(OfferText::planName(Period::yearly), u"Pro annuel"_s);
        QCOMPARE(OfferText::price(Period::monthly, prices), nbsp(u"12 €"_s) + u" par mois"_s);
        QCOMPARE(OfferText::price(Period::yearly, prices),
                 nbsp(u"120 €"_s) + u" par an, soit "_s + nbsp(u"10 €"_s) + u" par mois"_s);
    }

    void countersAndNotice() {
        QCOMPARE(OfferText::friendsLabel(0), u"ami inscrit"_s);
        QCOMPARE(OfferText::friendsLabel(1), u"ami inscrit"_s);
        QCOMPARE(OfferText::friendsLabel(2), u"amis inscrits"_s);
        QCOMPARE(OfferText::monthsLabel(1), u"mois gagné"_s);
        QCOMPARE(OfferText::monthsLabel(12), u"mois gagnés"_s);
        QCOMPARE(
            OfferText::offeredProKept(utc(2026, 5, 1)),
            u"Vos jours de Pro restants sont gardés : le premier paiement aura lieu le 1er mai."_s);
    }
};

QTEST_GUILESS_MAIN(TestOfferText)
#include "tst_offertext.moc"
