// Subscriptions against a running relay, over HTTPS: checkout and portal
// addresses, the relay's payment and portal pages driven as a browser would
// (GET the page, POST its form), renewals and endings over time, and a relay
// that refuses payments.

#include "RelayProcess.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

using parlova::test::RelayProcess;

class TestRelayPayment : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    int m_serial = 0;

    QString newUser() {
        return m_relay.signIn(QStringLiteral("payer%1@example.com").arg(++m_serial));
    }
    QJsonObject account(const QString& token) {
        return m_relay.call("GET", QStringLiteral("api/compte"), token).json;
    }
    static QJsonObject subscription(const QJsonObject& account) {
        return account.value(QStringLiteral("abonnement")).toObject();
    }
    static QDateTime date(const QJsonValue& value) {
        return QDateTime::fromString(value.toString(), Qt::ISODate);
    }
    RelayProcess::Answer checkout(const QString& token, const QString& period) {
        return m_relay.sendJson("POST", QStringLiteral("api/abonnement/paiement"),
                                {{QStringLiteral("periode"), period}}, token);
    }
    RelayProcess::Answer portal(const QString& token) {
        return m_relay.sendJson("POST", QStringLiteral("api/abonnement/portail"), {}, token);
    }
    // The path of a page address, checked to be an https page of the relay.
    QString pagePath(const RelayProcess::Answer& answer, const QString& prefix) {
        const QUrl url(answer.json.value(QStringLiteral("url")).toString());
        if (url.scheme() != u"https" || url.host() != u"127.0.0.1" ||
            url.port() != m_relay.port() || !url.path().startsWith(prefix))
            return {};
        return url.path().mid(1);
    }
    // Pays through the checkout page as a browser would; the page's path.
    QString subscribe(const QString& token, const QString& period) {
        const QString page = pagePath(checkout(token, period), QStringLiteral("/paiement/"));
        if (page.isEmpty() || m_relay.call("GET", page).status != 200 ||
            m_relay.call("POST", page).status != 200)
            return {};
        return page;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString())); }

    void monthlyCheckoutThroughThePage() {
        const QString token = newUser();
        const auto answer = checkout(token, QStringLiteral("mensuel"));
        QCOMPARE(answer.status, 200);
        const QString page = pagePath(answer, QStringLiteral("/paiement/"));
        QVERIFY2(!page.isEmpty(), answer.body.constData());

        const auto shown = m_relay.call("GET", page);
        QCOMPARE(shown.status, 200);
        const QString html = QString::fromUtf8(shown.body);
        QVERIFY(html.contains(QStringLiteral("Pro mensuel")));
        QVERIFY(html.contains(QStringLiteral("12\u00a0€ par mois")));
        QVERIFY(html.contains(QStringLiteral("method=\"post\" action=\"/") + page + u'"'));
        // Nothing happens until the button is pressed.
        QCOMPARE(account(token).value(QStringLiteral("offre")).toString(),
                 QStringLiteral("gratuit"));

        const auto paid = m_relay.call("POST", page);
        QCOMPARE(paid.status, 200);
        QVERIFY(paid.body.contains("parlova://compte"));
        const QJsonObject pro = account(token);
        QCOMPARE(pro.value(QStringLiteral("offre")).toString(), QStringLiteral("pro"));
        QVERIFY(pro.value(QStringLiteral("proJusquAu")).isNull());
        const QJsonObject sub = subscription(pro);
        QCOMPARE(sub.value(QStringLiteral("periode")).toString(), QStringLiteral("mensuel"));
        QCOMPARE(sub.value(QStringLiteral("statut")).toString(), QStringLiteral("active"));
        QCOMPARE(sub.value(QStringLiteral("resilie")), QJsonValue(false));
        const qint64 days =
            QDateTime::currentDateTimeUtc().daysTo(date(sub.value(QStringLiteral("finPeriode"))));
        QVERIFY2(days >= 27 && days <= 31, qPrintable(QString::number(days)));
        const QJsonObject week = pro.value(QStringLiteral("semaine")).toObject();
        QVERIFY(week.value(QStringLiteral("plafond")).isNull());
        QVERIFY(week.value(QStringLiteral("reste")).isNull());

        // A used page cannot pay twice, and a subscriber cannot check out again.
        QCOMPARE(m_relay.call("POST", page).status, 404);
        const auto again = checkout(token, QStringLiteral("annuel"));
        QCOMPARE(again.status, 409);
        QCOMPARE(again.errorCode(), QStringLiteral("deja-abonne"));
    }

    void yearlyCheckout() {
        const QString token = newUser();
        const QString page =
            pagePath(checkout(token, QStringLiteral("annuel")), QStringLiteral("/paiement/"));
        QVERIFY(QString::fromUtf8(m_relay.call("GET", page).body)
                    .contains(QStringLiteral("120\u00a0€ par an, soit 10\u00a0€ par mois")));
        QCOMPARE(m_relay.call("POST", page).status, 200);
        const QJsonObject sub = subscription(account(token));
        QCOMPARE(sub.value(QStringLiteral("periode")).toString(), QStringLiteral("annuel"));
        const qint64 days =
            QDateTime::currentDateTimeUtc().daysTo(date(sub.value(QStringLiteral("finPeriode"))));
        QVERIFY2(days >= 364 && days <= 366, qPrintable(QString::number(days)));
    }

    void checkoutBodyIsChecked() {
        const QString token = newUser();
        const auto unknown = checkout(token, QStringLiteral("hebdomadaire"));
        QCOMPARE(unknown.status, 400);
        QCOMPARE(unknown.errorCode(), QStringLiteral("periode"));
        QCOMPARE(m_relay.sendJson("POST", QStringLiteral("api/abonnement/paiement"), {}, token)
                     .errorCode(),
                 QStringLiteral("json"));
        const auto notJson =
            m_relay.send("POST", QStringLiteral("api/abonnement/portail"), "periode=mensuel",
                         {{"Authorization", "Bearer " + token.toUtf8()},
                          {"Content-Type", "application/x-www-form-urlencoded"}});
        QCOMPARE(notJson.status, 415);
    }

    void portalNeedsASubscription() {
        const QString token = newUser();
        const auto refused = portal(token);
        QCOMPARE(refused.status, 409);
        QCOMPARE(refused.errorCode(), QStringLiteral("sans-abonnement"));
    }

    void portalCancelsResumesAndMarksUnpaid() {
        const QString token = newUser();
        QVERIFY(!subscribe(token, QStringLiteral("mensuel")).isEmpty());
        const auto answer = portal(token);
        QCOMPARE(answer.status, 200);
        const QString page = pagePath(answer, QStringLiteral("/portail/"));
        QVERIFY2(!page.isEmpty(), answer.body.constData());
        QVERIFY(m_relay.call("GET", page).body.contains("/resilier\""));

        const auto cancelled = m_relay.call("POST", page + QStringLiteral("/resilier"));
        QCOMPARE(cancelled.status, 303);
        QCOMPARE(cancelled.header("Location"), u'/' + page.toUtf8());
        QJsonObject json = account(token);
        QCOMPARE(subscription(json).value(QStringLiteral("resilie")), QJsonValue(true));
        // A cancelled subscription still is Pro, until the end of its period.
        QCOMPARE(json.value(QStringLiteral("offre")).toString(), QStringLiteral("pro"));
        QCOMPARE(json.value(QStringLiteral("proJusquAu")),
                 subscription(json).value(QStringLiteral("finPeriode")));
        QVERIFY(m_relay.call("GET", page).body.contains("/reprendre\""));

        QCOMPARE(m_relay.call("POST", page + QStringLiteral("/reprendre")).status, 303);
        QCOMPARE(subscription(account(token)).value(QStringLiteral("resilie")), QJsonValue(false));

        QCOMPARE(m_relay.call("POST", page + QStringLiteral("/impaye")).status, 303);
        QCOMPARE(subscription(account(token)).value(QStringLiteral("statut")).toString(),
                 QStringLiteral("past_due"));
        QCOMPARE(m_relay.call("POST", page + QStringLiteral("/reprendre")).status, 303);
        QCOMPARE(subscription(account(token)).value(QStringLiteral("statut")).toString(),
                 QStringLiteral("active"));

        QCOMPARE(m_relay.call("POST", page + QStringLiteral("/effacer")).status, 404);
        QCOMPARE(m_relay.call("GET", QStringLiteral("portail/cle-inconnue")).status, 404);
    }

    void giftedProIsKeptWhenSubscribing() {
        const QString email = QStringLiteral("gifted@example.com");
        const QString token = m_relay.signIn(email);
        const auto gifted =
            m_relay.adjustAccount({{QStringLiteral("email"), email},
                                   {QStringLiteral("offre"), QStringLiteral("offert")},
                                   {QStringLiteral("jours"), 20}});
        QCOMPARE(gifted.json.value(QStringLiteral("offre")).toString(), QStringLiteral("offert"));
        const QJsonValue giftEnd = gifted.json.value(QStringLiteral("proJusquAu"));
        const QString page =
            pagePath(checkout(token, QStringLiteral("mensuel")), QStringLiteral("/paiement/"));
        QVERIFY(QString::fromUtf8(m_relay.call("GET", page).body)
                    .contains(QStringLiteral("Vos jours de Pro restants sont gardés")));
        QCOMPARE(m_relay.call("POST", page).status, 200);
        const QJsonObject sub = subscription(account(token));
        QCOMPARE(sub.value(QStringLiteral("statut")).toString(), QStringLiteral("trialing"));
        QCOMPARE(sub.value(QStringLiteral("finPeriode")), giftEnd);
    }

    // Last: these move the relay's clock forward.
    void periodsRenewOrEnd() {
        const QString renewing = newUser();
        const QString cancelling = newUser();
        const QString unpaid = newUser();
        for (const QString& token : {renewing, cancelling, unpaid})
            QVERIFY(!subscribe(token, QStringLiteral("mensuel")).isEmpty());
        const QDateTime firstEnd =
            date(subscription(account(renewing)).value(QStringLiteral("finPeriode")));
        const QString cancelPage = pagePath(portal(cancelling), QStringLiteral("/portail/"));
        QCOMPARE(m_relay.call("POST", cancelPage + QStringLiteral("/resilier")).status, 303);
        const QString unpaidPage = pagePath(portal(unpaid), QStringLiteral("/portail/"));
        QCOMPARE(m_relay.call("POST", unpaidPage + QStringLiteral("/impaye")).status, 303);
        const QString stalePage =
            pagePath(checkout(newUser(), QStringLiteral("annuel")), QStringLiteral("/paiement/"));

        QVERIFY(m_relay.advanceClock(32 * 24 * 3600));
        const QJsonObject renewed = account(renewing);
        QCOMPARE(renewed.value(QStringLiteral("offre")).toString(), QStringLiteral("pro"));
        QVERIFY(date(subscription(renewed).value(QStringLiteral("finPeriode"))) > firstEnd);
        for (const QString& token : {cancelling, unpaid}) {
            const QJsonObject ended = account(token);
            QCOMPARE(ended.value(QStringLiteral("offre")).toString(), QStringLiteral("gratuit"));
            QVERIFY(ended.value(QStringLiteral("abonnement")).isNull());
            QCOMPARE(
                ended.value(QStringLiteral("semaine")).toObject().value(QStringLiteral("plafond")),
                QJsonValue(2000));
        }
        // Pages expire: a checkout after a day, a portal after an hour.
        QCOMPARE(m_relay.call("GET", stalePage).status, 404);
        QCOMPARE(m_relay.call("GET", cancelPage).status, 404);
        // The ended subscriber may subscribe again.
        QCOMPARE(checkout(cancelling, QStringLiteral("mensuel")).status, 200);
    }

    void aRelayWithoutPayments() {
        RelayProcess closed(
            RelayProcess::Settings().withArguments({QStringLiteral("--sans-paiement")}));
        QVERIFY2(closed.start(), qPrintable(closed.errorString()));
        const QString token = closed.signIn(QStringLiteral("nopay@example.com"));
        for (const QString& route : {QStringLiteral("api/abonnement/paiement"),
                                     QStringLiteral("api/abonnement/portail")}) {
            const auto answer = closed.sendJson(
                "POST", route, {{QStringLiteral("periode"), QStringLiteral("mensuel")}}, token);
            QCOMPARE(answer.status, 503);
            QCOMPARE(answer.errorCode(), QStringLiteral("paiement-indisponible"));
        }
    }
};

QTEST_GUILESS_MAIN(TestRelayPayment)
#include "tst_relaypayment.moc"
