// Subscriptions against a running relay, over HTTPS: checkout and portal
// addresses, the relay's payment and portal pages driven as a browser would
// (GET the page, POST its form), renewals and endings over time, and a relay
// that refuses payments.

#include "RelayProcess.h"
#include "SpeechSamples.h"

#include <QDateTime>
#include <QTest>

using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

class TestRelayPayment : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    int m_serial = 0;

    QString newUser() { return m_relay.signIn(u"payer%1@example.com"_s.arg(++m_serial)); }
    static QJsonValue subscription(const QJsonObject& account) { return account[u"abonnement"_s]; }
    static QDateTime date(const QJsonValue& value) {
        return QDateTime::fromString(value.toString(), Qt::ISODate);
    }
    RelayProcess::Answer checkout(const QString& token, const QString& period) {
        return m_relay.sendJson("POST", u"api/abonnement/paiement"_s, {{u"periode"_s, period}},
                                token);
    }
    RelayProcess::Answer portal(const QString& token) {
        return m_relay.sendJson("POST", u"api/abonnement/portail"_s, {}, token);
    }
    // The path of a page address, checked to be an https page of the relay.
    QString pagePath(const RelayProcess::Answer& answer, const QString& prefix) {
        const QUrl url(answer.json[u"url"_s].toString());
        if (url.scheme() != u"https" || url.host() != u"127.0.0.1" ||
            url.port() != m_relay.port() || !url.path().startsWith(prefix))
            return {};
        return url.path().mid(1);
    }
    // Pays through the checkout page as a browser would; the page's path.
    QString subscribe(const QString& token, const QString& period) {
        const QString page = pagePath(checkout(token, period), u"/paiement/"_s);
        if (page.isEmpty() || m_relay.call("GET", page).status != 200 ||
            m_relay.call("POST", page).status != 200)
            return {};
        return page;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString())); }

    void monthlyCheckoutThroughThePage() {
        const QString token = newUser();
        const auto answer = checkout(token, u"mensuel"_s);
        QCOMPARE(answer.status, 200);
        const QString page = pagePath(answer, u"/paiement/"_s);
        QVERIFY2(!page.isEmpty(), answer.body.constData());

        const auto shown = m_relay.call("GET", page);
        QCOMPARE(shown.status, 200);
        const QString html = QString::fromUtf8(shown.body);
        QVERIFY(html.contains(u"Pro mensuel"_s));
        QVERIFY(html.contains(u"12\u00a0€ par mois"_s));
        QVERIFY(html.contains(u"method=\"post\" action=\"/"_s + page + u'"'));
        // Nothing happens until the button is pressed.
        QCOMPARE(m_relay.account(token)[u"offre"_s], u"gratuit"_s);

        const auto paid = m_relay.call("POST", page);
        QCOMPARE(paid.status, 200);
        QVERIFY(paid.body.contains("parlova://compte"));
        // Offer, period, status and the uncapped week: tst_cli_session's --compte.
        const QJsonObject pro = m_relay.account(token);
        QVERIFY(pro[u"proJusquAu"_s].isNull());
        QCOMPARE(subscription(pro)[u"resilie"_s], false);
        const qint64 days = m_relay.now().daysTo(date(subscription(pro)[u"finPeriode"_s]));
        QVERIFY2(days >= 27 && days <= 31, qPrintable(QString::number(days)));

        // A used page cannot pay twice, and a subscriber cannot check out again.
        QCOMPARE(m_relay.call("POST", page).status, 404);
        QCOMPARE(checkout(token, u"annuel"_s).refusal(), u"409 deja-abonne"_s);
    }

    void checkoutAndPortalRefusals() {
        const QString token = newUser();
        QCOMPARE(checkout(token, u"hebdomadaire"_s).refusal(), u"400 periode"_s);
        QCOMPARE(portal(token).refusal(), u"409 sans-abonnement"_s);
        RelayProcess closed(RelayProcess::Settings().withArguments({u"--sans-paiement"_s}));
        QVERIFY2(closed.start(), qPrintable(closed.errorString()));
        const QString other = closed.signIn(u"nopay@example.com"_s);
        for (const QString& route : {u"api/abonnement/paiement"_s, u"api/abonnement/portail"_s})
            QCOMPARE(
                closed.sendJson("POST", route, {{u"periode"_s, u"mensuel"_s}}, other).refusal(),
                u"503 paiement-indisponible"_s);
    }

    void portalCancelsResumesAndMarksUnpaid() {
        const QString token = newUser();
        QVERIFY(!subscribe(token, u"mensuel"_s).isEmpty());
        const auto answer = portal(token);
        QCOMPARE(answer.status, 200);
        const QString page = pagePath(answer, u"/portail/"_s);
        QVERIFY2(!page.isEmpty(), answer.body.constData());
        QVERIFY(m_relay.call("GET", page).body.contains("/resilier\""));

        const auto cancelled = m_relay.call("POST", page + u"/resilier"_s);
        QCOMPARE(cancelled.status, 303);
        QCOMPARE(cancelled.header("Location"), u'/' + page.toUtf8());
        const QJsonObject json = m_relay.account(token);
        QCOMPARE(subscription(json)[u"resilie"_s], true);
        // A cancelled subscription still is Pro, until the end of its period.
        QCOMPARE(json[u"offre"_s], u"pro"_s);
        QCOMPARE(json[u"proJusquAu"_s], subscription(json)[u"finPeriode"_s]);
        QVERIFY(m_relay.call("GET", page).body.contains("/reprendre\""));

        QCOMPARE(m_relay.call("POST", page + u"/reprendre"_s).status, 303);
        QCOMPARE(subscription(m_relay.account(token))[u"resilie"_s], false);

        QCOMPARE(m_relay.call("POST", page + u"/impaye"_s).status, 303);
        QCOMPARE(subscription(m_relay.account(token))[u"statut"_s], u"past_due"_s);
        QCOMPARE(m_relay.call("POST", page + u"/reprendre"_s).status, 303);
        QCOMPARE(subscription(m_relay.account(token))[u"statut"_s], u"active"_s);

        QCOMPARE(m_relay.call("POST", page + u"/effacer"_s).status, 404);
        QCOMPARE(m_relay.call("GET", u"portail/cle-inconnue"_s).status, 404);
    }

    void giftedProIsKeptWhenSubscribing() {
        const QString email = u"gifted@example.com"_s;
        const QString token = m_relay.signIn(email);
        const auto gifted = m_relay.adjustAccount(
            {{u"email"_s, email}, {u"offre"_s, u"offert"_s}, {u"jours"_s, 20}});
        QCOMPARE(gifted.json[u"offre"_s], u"offert"_s);
        const QJsonValue giftEnd = gifted.json[u"proJusquAu"_s];
        const QString page = pagePath(checkout(token, u"mensuel"_s), u"/paiement/"_s);
        QVERIFY(QString::fromUtf8(m_relay.call("GET", page).body)
                    .contains(u"Vos jours de Pro restants sont gardés"_s));
        QCOMPARE(m_relay.call("POST", page).status, 200);
        const QJsonValue sub = subscription(m_relay.account(token));
        QCOMPARE(sub[u"statut"_s], u"trialing"_s);
        QCOMPARE(sub[u"finPeriode"_s], giftEnd);
    }

    // A subscriber's referral months are not lost: each one pushes the next
    // payment back, and they add up.
    void referralMonthsPushBackTheRenewal() {
        const QString token = newUser();
        QVERIFY(!subscribe(token, u"mensuel"_s).isEmpty());
        const QJsonObject before = m_relay.account(token);
        const QString code = before[u"parrainage"_s][u"code"_s].toString();
        const QByteArray take = SpeechSamples::tone(1.0);
        for (int n = 1; n <= 2; ++n) {
            const QString friendToken =
                m_relay.signIn(u"filleul%1-%2@example.com"_s.arg(n).arg(m_serial), code);
            QCOMPARE(m_relay.dictate(friendToken, take).status, 200);
        }
        const QJsonObject after = m_relay.account(token);
        QCOMPARE(after[u"offre"_s], u"pro"_s);
        QCOMPARE(subscription(after)[u"statut"_s], u"active"_s);
        const qint64 days = date(subscription(before)[u"finPeriode"_s])
                                .daysTo(date(subscription(after)[u"finPeriode"_s]));
        QVERIFY2(days >= 59 && days <= 62, qPrintable(QString::number(days)));
    }

    // Last: these move the relay's clock forward.
    void periodsRenewOrEnd() {
        const QString renewing = newUser();
        const QString cancelling = newUser();
        const QString unpaid = newUser();
        for (const QString& token : {renewing, cancelling, unpaid})
            QVERIFY(!subscribe(token, u"mensuel"_s).isEmpty());
        const QDateTime firstEnd = date(subscription(m_relay.account(renewing))[u"finPeriode"_s]);
        const QString cancelPage = pagePath(portal(cancelling), u"/portail/"_s);
        QCOMPARE(m_relay.call("POST", cancelPage + u"/resilier"_s).status, 303);
        const QString unpaidPage = pagePath(portal(unpaid), u"/portail/"_s);
        QCOMPARE(m_relay.call("POST", unpaidPage + u"/impaye"_s).status, 303);
        const QString stalePage = pagePath(checkout(newUser(), u"annuel"_s), u"/paiement/"_s);

        QVERIFY(m_relay.advanceClock(32 * 24 * 3600));
        const QJsonObject renewed = m_relay.account(renewing);
        QCOMPARE(renewed[u"offre"_s], u"pro"_s);
        QVERIFY(date(subscription(renewed)[u"finPeriode"_s]) > firstEnd);
        for (const QString& token : {cancelling, unpaid}) {
            const QJsonObject ended = m_relay.account(token);
            QCOMPARE(ended[u"offre"_s], u"gratuit"_s);
            QVERIFY(ended[u"abonnement"_s].isNull());
            QCOMPARE(ended[u"semaine"_s][u"plafond"_s], 2000);
        }
        // Pages expire: a checkout after a day, a portal after an hour.
        QCOMPARE(m_relay.call("GET", stalePage).status, 404);
        QCOMPARE(m_relay.call("GET", cancelPage).status, 404);
        // The ended subscriber may subscribe again.
        QCOMPARE(checkout(cancelling, u"mensuel"_s).status, 200);
    }
};

QTEST_GUILESS_MAIN(TestRelayPayment)
#include "tst_relaypayment.moc"
