// The session's account against a running relay, over HTTPS: the account
// JSON, tokens and sign-out, deletion, the relay's pages, and a restart that
// keeps accounts and sessions.

#include "RelayProcess.h"
#include "SpeechSamples.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

namespace {

const QRegularExpression relayDate(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"_s);

bool isRelayDate(const QJsonValue& value) {
    return value.isString() && relayDate.match(value.toString()).hasMatch();
}

bool isHttpsOf(const QJsonValue& value, const QUrl& origin, const QString& path) {
    const QUrl url(value.toString());
    return url.scheme() == u"https" && url.host() == origin.host() && url.port() == origin.port() &&
           url.path() == path;
}

} // namespace

class TestRelayAccount : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    QByteArray m_take;

    QJsonObject account(const QString& token) {
        const auto answer = m_relay.call("GET", u"api/compte"_s, token);
        return answer.status == 200 ? answer.json : QJsonObject();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        QString error;
        m_take = SpeechSamples::tone(1, &error);
        QVERIFY2(!m_take.isEmpty(), qPrintable(error));
    }

    void accountJsonOfAFreeUser() {
        const QString token = m_relay.signIn(u"json@example.com"_s);
        QVERIFY2(!token.isEmpty(), qPrintable(m_relay.errorString()));
        const QDateTime before = m_relay.now();
        const auto answer = m_relay.call("GET", u"api/compte"_s, token);
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.header("Content-Type").startsWith("application/json"));
        const QJsonObject json = answer.json;
        QCOMPARE(json[u"email"_s], u"json@example.com"_s);
        QCOMPARE(json[u"offre"_s], u"gratuit"_s);
        QVERIFY(json[u"proJusquAu"_s].isNull() && json[u"abonnement"_s].isNull());

        const QJsonValue week = json[u"semaine"_s];
        QCOMPARE(week[u"mots"_s], 0);
        QCOMPARE(week[u"plafond"_s], 2000);
        QCOMPARE(week[u"reste"_s], 2000);
        QVERIFY(isRelayDate(week[u"reinitialisation"_s]));
        const QDateTime reset =
            QDateTime::fromString(week[u"reinitialisation"_s].toString(), Qt::ISODate);
        QVERIFY(reset > before && reset <= before.addDays(7));
        const QDateTime paris = reset.toTimeZone(QTimeZone("Europe/Paris"));
        QVERIFY(paris.time() == QTime(0, 0) && paris.date().dayOfWeek() == 1);

        const QJsonValue referral = json[u"parrainage"_s];
        const QString code = referral[u"code"_s].toString();
        QVERIFY(QRegularExpression(u"^[2-9A-HJKMNP-Z]{6}$"_s).match(code).hasMatch());
        QVERIFY(isHttpsOf(referral[u"lien"_s], m_relay.origin(), u"/r/"_s + code));
        for (const QString& count : {u"amis"_s, u"amisValides"_s, u"moisGagnes"_s})
            QCOMPARE(referral[count], 0);

        const QJsonValue prices = json[u"tarifs"_s];
        QCOMPARE(prices[u"devise"_s], u"eur"_s);
        QCOMPARE(prices[u"mensuel"_s][u"centimes"_s], 1200);
        QCOMPARE(prices[u"annuel"_s][u"centimes"_s], 12000);
        QCOMPARE(prices[u"annuel"_s][u"centimesParMois"_s], 1000);
        QVERIFY(isHttpsOf(json[u"liens"_s][u"conditions"_s], m_relay.origin(), u"/conditions"_s));
        QVERIFY(isHttpsOf(json[u"liens"_s][u"confidentialite"_s], m_relay.origin(),
                          u"/confidentialite"_s));
    }

    void tokensAreCheckedOnEveryRoute() {
        const QString token = m_relay.signIn(u"tokens@example.com"_s);
        const QList<QPair<QByteArray, QString>> routes = {{"GET", u"api/compte"_s},
                                                          {"DELETE", u"api/compte"_s},
                                                          {"POST", u"api/deconnexion"_s},
                                                          {"POST", u"api/abonnement/paiement"_s},
                                                          {"POST", u"api/abonnement/portail"_s},
                                                          {"POST", u"api/dicter"_s}};
        const QList<QByteArray> badHeaders = {"", "Bearer ", "Basic " + token.toUtf8(),
                                              "Bearer " + token.toUtf8() + "x"};
        for (const auto& [method, route] : routes) {
            for (const QByteArray& authorization : badHeaders) {
                QList<QPair<QByteArray, QByteArray>> headers = {
                    {"Content-Type", "application/json"}};
                if (!authorization.isEmpty())
                    headers.append({"Authorization", authorization});
                const auto answer = m_relay.send(method, route, "{}", headers);
                QVERIFY2(answer.status == 401, qPrintable(route + u' ' + authorization));
                QCOMPARE(answer.errorCode(), u"session"_s);
            }
        }
        QCOMPARE(account(token)[u"email"_s], u"tokens@example.com"_s);
    }

    void signOutRevokesOnlyThatSession() {
        const QString first = m_relay.signIn(u"twice@example.com"_s);
        const QString second = m_relay.signIn(u"twice@example.com"_s);
        QVERIFY(first != second);
        const auto out = m_relay.call("POST", u"api/deconnexion"_s, first);
        QCOMPARE(out.status, 204);
        QVERIFY(out.body.isEmpty());
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, first).status, 401);
        QCOMPARE(m_relay.call("POST", u"api/deconnexion"_s, first).status, 401);
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, second).status, 200);
    }

    void deletionRemovesTheAccountAndItsSessions() {
        const QString email = u"gone@example.com"_s;
        const QString token = m_relay.signIn(email);
        const QString other = m_relay.signIn(email);
        const QString oldCode = account(token)[u"parrainage"_s][u"code"_s].toString();
        QVERIFY(m_relay.setNextTranscript(u"quelques mots dictés"_s));
        QCOMPARE(m_relay.dictate(token, m_take).status, 200);

        const auto deleted = m_relay.call("DELETE", u"api/compte"_s, token);
        QCOMPARE(deleted.status, 204);
        QVERIFY(deleted.body.isEmpty());
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, token).status, 401);
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, other).status, 401);
        QCOMPARE(m_relay.call("DELETE", u"api/compte"_s, token).status, 401);
        QCOMPARE(m_relay.call("GET", u"r/"_s + oldCode).status, 404);

        // Signing in again starts a new account.
        const QJsonObject fresh = account(m_relay.signIn(email));
        QVERIFY(fresh[u"parrainage"_s][u"code"_s] != QJsonValue(oldCode));
    }

    void wrongMethodsAndUnknownPaths() {
        const auto put = m_relay.call("PUT", u"api/compte"_s);
        QCOMPARE(put.refusal(), u"405 methode"_s);
        QCOMPARE(put.header("Allow"), QByteArray("GET, DELETE"));
        QCOMPARE(m_relay.call("GET", u"api/dicter"_s).status, 405);
        QCOMPARE(m_relay.call("DELETE", u"api/connexion/code"_s).status, 405);
        QCOMPARE(m_relay.call("GET", u"api/inconnu"_s).refusal(), u"404 introuvable"_s);
        // With --controle, asking for a code never sent is a 404 of its own.
        QCOMPARE(m_relay.call("GET", u"controle/code?email=x@example.com"_s).refusal(),
                 u"404 code"_s);
    }

    void pagesOfTheRelay() {
        const QString token = m_relay.signIn(u"pages@example.com"_s);
        const QString code = account(token)[u"parrainage"_s][u"code"_s].toString();
        const auto invitation = m_relay.call("GET", u"r/"_s + code);
        QCOMPARE(invitation.status, 200);
        QVERIFY(invitation.header("Content-Type").startsWith("text/html"));
        QVERIFY(invitation.body.contains("href=\"parlova://parrainage/" + code.toUtf8() + "\""));
        QCOMPARE(m_relay.call("GET", u"r/"_s + code.toLower()).status, 200);
        QCOMPARE(m_relay.call("GET", u"r/ZZZZZZ"_s).status, 404);
        QCOMPARE(m_relay.call("GET", u"r/%3Cscript%3E"_s).status, 404);
        for (const char* path : {"conditions", "confidentialite", ""}) {
            const auto page = m_relay.call("GET", QString::fromLatin1(path));
            QCOMPARE(page.status, 200);
            QVERIFY(page.body.startsWith("<!DOCTYPE html>"));
            QVERIFY(page.body.contains("lang=\"fr\""));
        }
    }

    void aRestartKeepsAccountsAndSessions() {
        const QString token = m_relay.signIn(u"durable@example.com"_s);
        QVERIFY(m_relay.setNextTranscript(u"un deux trois quatre cinq"_s));
        QCOMPARE(m_relay.dictate(token, m_take).status, 200);
        const QJsonObject before = account(token);
        const QString revoked = m_relay.signIn(u"durable@example.com"_s);
        QCOMPARE(m_relay.call("POST", u"api/deconnexion"_s, revoked).status, 204);

        m_relay.stop(); // the data folder, and so the accounts, stay
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        QCOMPARE(m_relay.exitCode(), 0);
        QVERIFY(m_relay.log().contains(u"Relais arrêté."_s));
        const QJsonObject after = account(token);
        QCOMPARE(after[u"email"_s], before[u"email"_s]);
        QCOMPARE(after[u"semaine"_s][u"mots"_s], 5);
        QCOMPARE(after[u"parrainage"_s][u"code"_s], before[u"parrainage"_s][u"code"_s]);
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, revoked).status, 401);
    }
};

QTEST_GUILESS_MAIN(TestRelayAccount)
#include "tst_relayaccount.moc"
