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

namespace {

const QRegularExpression relayDate(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"));

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
        const auto answer = m_relay.call("GET", QStringLiteral("api/compte"), token);
        return answer.status == 200 ? answer.json : QJsonObject();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        QString error;
        m_take =
            SpeechSamples::m4a({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                QStringLiteral("sine=frequency=300:duration=1")},
                               &error);
        QVERIFY2(!m_take.isEmpty(), qPrintable(error));
    }

    void accountJsonOfAFreeUser() {
        const QString token = m_relay.signIn(QStringLiteral("json@example.com"));
        QVERIFY2(!token.isEmpty(), qPrintable(m_relay.errorString()));
        const auto answer = m_relay.call("GET", QStringLiteral("api/compte"), token);
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.header("Content-Type").startsWith("application/json"));
        const QJsonObject json = answer.json;
        QCOMPARE(json.value(QStringLiteral("email")).toString(),
                 QStringLiteral("json@example.com"));
        QCOMPARE(json.value(QStringLiteral("offre")).toString(), QStringLiteral("gratuit"));
        QVERIFY(json.value(QStringLiteral("proJusquAu")).isNull());
        QVERIFY(json.value(QStringLiteral("abonnement")).isNull());

        const QJsonObject week = json.value(QStringLiteral("semaine")).toObject();
        QCOMPARE(week.value(QStringLiteral("mots")), QJsonValue(0));
        QCOMPARE(week.value(QStringLiteral("plafond")), QJsonValue(2000));
        QCOMPARE(week.value(QStringLiteral("reste")), QJsonValue(2000));
        QVERIFY(isRelayDate(week.value(QStringLiteral("reinitialisation"))));
        const QDateTime reset = QDateTime::fromString(
            week.value(QStringLiteral("reinitialisation")).toString(), Qt::ISODate);
        QVERIFY(reset > QDateTime::currentDateTimeUtc());
        QVERIFY(reset <= QDateTime::currentDateTimeUtc().addDays(7));
        QCOMPARE(reset.toTimeZone(QTimeZone("Europe/Paris")).time(), QTime(0, 0));
        QCOMPARE(reset.toTimeZone(QTimeZone("Europe/Paris")).date().dayOfWeek(), 1);

        const QJsonObject referral = json.value(QStringLiteral("parrainage")).toObject();
        const QString code = referral.value(QStringLiteral("code")).toString();
        QVERIFY(QRegularExpression(QStringLiteral("^[2-9A-HJKMNP-Z]{6}$")).match(code).hasMatch());
        QVERIFY(isHttpsOf(referral.value(QStringLiteral("lien")), m_relay.origin(),
                          QStringLiteral("/r/") + code));
        for (const char* key : {"amis", "amisValides", "moisGagnes"})
            QCOMPARE(referral.value(QLatin1String(key)), QJsonValue(0));

        const QJsonObject prices = json.value(QStringLiteral("tarifs")).toObject();
        QCOMPARE(prices.value(QStringLiteral("devise")).toString(), QStringLiteral("eur"));
        QCOMPARE(
            prices.value(QStringLiteral("mensuel")).toObject().value(QStringLiteral("centimes")),
            QJsonValue(1200));
        QCOMPARE(
            prices.value(QStringLiteral("annuel")).toObject().value(QStringLiteral("centimes")),
            QJsonValue(12000));
        QCOMPARE(prices.value(QStringLiteral("annuel"))
                     .toObject()
                     .value(QStringLiteral("centimesParMois")),
                 QJsonValue(1000));

        const QJsonObject links = json.value(QStringLiteral("liens")).toObject();
        QVERIFY(isHttpsOf(links.value(QStringLiteral("conditions")), m_relay.origin(),
                          QStringLiteral("/conditions")));
        QVERIFY(isHttpsOf(links.value(QStringLiteral("confidentialite")), m_relay.origin(),
                          QStringLiteral("/confidentialite")));
    }

    void linksFollowTheHostTheClientUsed() {
        const QString token = m_relay.signIn(QStringLiteral("host@example.com"));
        const auto answer =
            m_relay.send("GET", QStringLiteral("api/compte"), {},
                         {{"Authorization", "Bearer " + token.toUtf8()},
                          {"Host", "localhost:" + QByteArray::number(m_relay.port())}});
        QCOMPARE(answer.json.value(QStringLiteral("liens"))
                     .toObject()
                     .value(QStringLiteral("conditions")),
                 QJsonValue(QStringLiteral("https://localhost:%1/conditions").arg(m_relay.port())));
        // A forged host never makes it into a link.
        const auto forged = m_relay.send(
            "GET", QStringLiteral("api/compte"), {},
            {{"Authorization", "Bearer " + token.toUtf8()}, {"Host", "evil.example/\"><script>"}});
        QVERIFY(isHttpsOf(forged.json.value(QStringLiteral("liens"))
                              .toObject()
                              .value(QStringLiteral("conditions")),
                          m_relay.origin(), QStringLiteral("/conditions")));
    }

    void tokensAreCheckedOnEveryRoute() {
        const QString token = m_relay.signIn(QStringLiteral("tokens@example.com"));
        const QList<QPair<QByteArray, QString>> routes = {
            {"GET", QStringLiteral("api/compte")},
            {"DELETE", QStringLiteral("api/compte")},
            {"POST", QStringLiteral("api/deconnexion")},
            {"POST", QStringLiteral("api/abonnement/paiement")},
            {"POST", QStringLiteral("api/abonnement/portail")},
            {"POST", QStringLiteral("api/dicter")}};
        const QList<QByteArray> badHeaders = {"",
                                              "Bearer ",
                                              "Bearer inconnu",
                                              "Basic " + token.toUtf8(),
                                              "Bearer " + token.toUtf8() + "x",
                                              "Bearer " + token.toUtf8() + "\"; DROP"};
        for (const auto& [method, route] : routes) {
            for (const QByteArray& authorization : badHeaders) {
                QList<QPair<QByteArray, QByteArray>> headers = {
                    {"Content-Type", "application/json"}};
                if (!authorization.isEmpty())
                    headers.append({"Authorization", authorization});
                const auto answer = m_relay.send(method, route, "{}", headers);
                QVERIFY2(answer.status == 401, qPrintable(route + u' ' + authorization));
                QCOMPARE(answer.errorCode(), QStringLiteral("session"));
            }
        }
        QCOMPARE(account(token).value(QStringLiteral("email")).toString(),
                 QStringLiteral("tokens@example.com"));
    }

    void signOutRevokesOnlyThatSession() {
        const QString first = m_relay.signIn(QStringLiteral("twice@example.com"));
        const QString second = m_relay.signIn(QStringLiteral("twice@example.com"));
        QVERIFY(first != second);
        const auto out = m_relay.call("POST", QStringLiteral("api/deconnexion"), first);
        QCOMPARE(out.status, 204);
        QVERIFY(out.body.isEmpty());
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), first).status, 401);
        QCOMPARE(m_relay.call("POST", QStringLiteral("api/deconnexion"), first).status, 401);
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), second).status, 200);
    }

    void deletionRemovesTheAccountAndItsSessions() {
        const QString email = QStringLiteral("gone@example.com");
        const QString token = m_relay.signIn(email);
        const QString other = m_relay.signIn(email);
        const QString oldCode = account(token)
                                    .value(QStringLiteral("parrainage"))
                                    .toObject()
                                    .value(QStringLiteral("code"))
                                    .toString();
        QVERIFY(m_relay.setNextTranscript(QStringLiteral("quelques mots dictés")));
        QCOMPARE(m_relay.dictate(token, m_take).status, 200);

        const auto deleted = m_relay.call("DELETE", QStringLiteral("api/compte"), token);
        QCOMPARE(deleted.status, 204);
        QVERIFY(deleted.body.isEmpty());
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), token).status, 401);
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), other).status, 401);
        QCOMPARE(m_relay.call("DELETE", QStringLiteral("api/compte"), token).status, 401);
        QCOMPARE(m_relay.call("GET", QStringLiteral("r/") + oldCode).status, 404);

        // Signing in again starts a blank account.
        const QJsonObject fresh = account(m_relay.signIn(email));
        QCOMPARE(fresh.value(QStringLiteral("semaine")).toObject().value(QStringLiteral("mots")),
                 QJsonValue(0));
        QVERIFY(
            fresh.value(QStringLiteral("parrainage")).toObject().value(QStringLiteral("code")) !=
            QJsonValue(oldCode));
    }

    void wrongMethodsAndUnknownPaths() {
        const auto put = m_relay.call("PUT", QStringLiteral("api/compte"));
        QCOMPARE(put.status, 405);
        QCOMPARE(put.errorCode(), QStringLiteral("methode"));
        QCOMPARE(put.header("Allow"), QByteArray("GET, DELETE"));
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/dicter")).status, 405);
        QCOMPARE(m_relay.call("DELETE", QStringLiteral("api/connexion/code")).status, 405);
        const auto unknown = m_relay.call("GET", QStringLiteral("api/inconnu"));
        QCOMPARE(unknown.status, 404);
        QCOMPARE(unknown.errorCode(), QStringLiteral("introuvable"));
        // With --controle, asking for a code never sent is a 404 of its own.
        const auto noCode =
            m_relay.call("GET", QStringLiteral("controle/code?email=x@example.com"));
        QCOMPARE(noCode.status, 404);
        QCOMPARE(noCode.errorCode(), QStringLiteral("code"));
    }

    void pagesOfTheRelay() {
        const QString token = m_relay.signIn(QStringLiteral("pages@example.com"));
        const QString code = account(token)
                                 .value(QStringLiteral("parrainage"))
                                 .toObject()
                                 .value(QStringLiteral("code"))
                                 .toString();
        const auto invitation = m_relay.call("GET", QStringLiteral("r/") + code);
        QCOMPARE(invitation.status, 200);
        QVERIFY(invitation.header("Content-Type").startsWith("text/html"));
        QVERIFY(invitation.body.contains("href=\"parlova://parrainage/" + code.toUtf8() + "\""));
        QCOMPARE(m_relay.call("GET", QStringLiteral("r/") + code.toLower()).status, 200);
        QCOMPARE(m_relay.call("GET", QStringLiteral("r/ZZZZZZ")).status, 404);
        QCOMPARE(m_relay.call("GET", QStringLiteral("r/%3Cscript%3E")).status, 404);
        for (const char* path : {"conditions", "confidentialite", ""}) {
            const auto page = m_relay.call("GET", QString::fromLatin1(path));
            QCOMPARE(page.status, 200);
            QVERIFY(page.body.startsWith("<!DOCTYPE html>"));
            QVERIFY(page.body.contains("lang=\"fr\""));
        }
    }

    void aRestartKeepsAccountsAndSessions() {
        const QString token = m_relay.signIn(QStringLiteral("durable@example.com"));
        QVERIFY(m_relay.setNextTranscript(QStringLiteral("un deux trois quatre cinq")));
        QCOMPARE(m_relay.dictate(token, m_take).status, 200);
        const QJsonObject before = account(token);
        const QString revoked = m_relay.signIn(QStringLiteral("durable@example.com"));
        QCOMPARE(m_relay.call("POST", QStringLiteral("api/deconnexion"), revoked).status, 204);

        QVERIFY2(m_relay.restart(), qPrintable(m_relay.errorString()));
        QCOMPARE(m_relay.exitCode(), 0);
        QVERIFY(m_relay.log().contains(QStringLiteral("Relais arrêté.")));
        const QJsonObject after = account(token);
        QCOMPARE(after.value(QStringLiteral("email")), before.value(QStringLiteral("email")));
        QCOMPARE(after.value(QStringLiteral("semaine")).toObject().value(QStringLiteral("mots")),
                 QJsonValue(5));
        QCOMPARE(
            after.value(QStringLiteral("parrainage")).toObject().value(QStringLiteral("code")),
            before.value(QStringLiteral("parrainage")).toObject().value(QStringLiteral("code")));
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), revoked).status, 401);
    }
};

QTEST_GUILESS_MAIN(TestRelayAccount)
#include "tst_relayaccount.moc"
