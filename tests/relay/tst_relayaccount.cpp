// Sign-in and the account against a running relay, over HTTPS: the code
// request and its limit, the code check with its attempts, expiry and
// lock-out, e-mail and referral checks, what is stored; the account JSON,
// tokens, the relay's pages, a restart that keeps accounts and sessions
// but not a signed-out one (account deletion: tst_relayabuse), and bases of
// older and newer schemas.

#include "RelayProcess.h"
#include "SpeechSamples.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

class TestRelayAccount : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    QByteArray m_take;
    int m_serial = 0;

    // A fresh address per test, so that limits do not carry over.
    QString address() { return QStringLiteral("user%1@example.com").arg(++m_serial); }

    RelayProcess::Answer requestCode(const QString& email, const QString& referral = {}) {
        QJsonObject body{{u"email"_s, email}};
        if (!referral.isEmpty())
            body.insert(u"parrainage"_s, referral);
        return m_relay.sendJson("POST", u"api/connexion/code"_s, body);
    }
    RelayProcess::Answer verify(const QString& email, const QString& code,
                                const QString& referral = {}) {
        QJsonObject body{{u"email"_s, email}, {u"code"_s, code}};
        if (!referral.isEmpty())
            body.insert(u"parrainage"_s, referral);
        return m_relay.sendJson("POST", u"api/connexion/verifier"_s, body);
    }
    // A code that is not the one sent.
    static QString wrong(const QString& code) {
        return code == u"000000" ? u"111111"_s : u"000000"_s;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        QString error;
        m_take = SpeechSamples::tone(1, &error);
        QVERIFY2(!m_take.isEmpty(), qPrintable(error));
    }

    // The code goes to the journal; its check creates a free account for the
    // trimmed, lower-case address, with links on the relay's origin, and uses
    // the code up.
    void signInCreatesAFreeAccount() {
        const QString email = address();
        QCOMPARE(requestCode(u"  "_s + email.toUpper()).status, 200);
        const QString code = m_relay.lastCode(email);
        QVERIFY(QRegularExpression(u"^\\d{6}$"_s).match(code).hasMatch());
        QVERIFY(m_relay.log().contains(email + u" : "_s + code));
        const auto answer = verify(email, code);
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.header("Content-Type").startsWith("application/json"));
        const QString token = answer.json[u"jeton"_s].toString();
        QVERIFY(token.size() >= 40);
        QVERIFY(!answer.json.contains(u"parrainage"_s));
        const QJsonObject shown = answer.json[u"compte"_s].toObject();
        const QString referral = shown[u"parrainage"_s][u"code"_s].toString();
        QVERIFY(QRegularExpression(u"^[2-9A-HJKMNP-Z]{6}$"_s).match(referral).hasMatch());
        const QString reset = shown[u"semaine"_s][u"reinitialisation"_s].toString();
        QVERIFY(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"_s)
                    .match(reset)
                    .hasMatch());
        // (Single quotes stand for double quotes.)
        QString json = uR"({'email':'@E','offre':'gratuit','proJusquAu':null,'abonnement':null,
            'semaine':{'mots':0,'plafond':2000,'reste':2000,'reinitialisation':'@T'},
            'parrainage':{'code':'@C','lien':'@O/r/@C','amis':0,'amisValides':0,'moisGagnes':0},
            'tarifs':{'devise':'eur','mensuel':{'centimes':1200},
                      'annuel':{'centimes':12000,'centimesParMois':1000}},
            'liens':{'conditions':'@O/conditions','confidentialite':'@O/confidentialite'}})"_s;
        json.replace(u'\'', u'"').replace(u"@E"_s, email).replace(u"@T"_s, reset);
        json.replace(u"@C"_s, referral)
            .replace(u"@O"_s, m_relay.origin().toString(QUrl::StripTrailingSlash));
        const QJsonObject expected = QJsonDocument::fromJson(json.toUtf8()).object();
        QVERIFY(!expected.isEmpty());
        QCOMPARE(shown, expected);
        QCOMPARE(m_relay.account(token), expected);
        QCOMPARE(verify(email, code).errorCode(), u"code-expire"_s);
    }

    // Both exchanges refuse what they cannot take; a charset parameter is fine.
    void badRequestsAreRefused_data() {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const QByteArray& name, const char* route, const QByteArray& body,
                            const char* refusal, const QByteArray& type = "application/json") {
            QTest::newRow(name) << u"api/connexion/"_s + QLatin1String(route) << body << type
                                << QString::fromLatin1(refusal);
        };
        row("cut JSON", "code", R"({"email":"a@example.com")", "400 json");
        row("email not a string", "code", R"({"email":42})", "400 json");
        row("not JSON", "code", R"({"email":"a@example.com"})", "415 type-contenu", "text/plain");
        row("too large", "code", "{\"email\":\"" + QByteArray(20000, 'a') + "@example.com\"}",
            "413 taille");
        row("charset", "code", R"({"email":"c@example.com"})", "200 ",
            "application/json; charset=utf-8");
        for (const char* route : {"code", "verifier"}) {
            const auto named = [&](const char* what) {
                return route + QByteArray(", ") + what;
            };
            const auto fields = [&](QJsonObject json) {
                if (route != QByteArray("code"))
                    json[u"code"_s] = u"123456"_s;
                return QJsonDocument(json).toJson(QJsonDocument::Compact);
            };
            row(named("not an address"), route, fields({{u"email"_s, u"pas-une-adresse"_s}}),
                "400 email");
            row(named("empty address"), route, fields({{u"email"_s, QString()}}), "400 email");
            for (const char* referral : {"ZZZZZZ", "K7M2Q0"})
                row(named(referral), route,
                    fields({{u"email"_s, u"b@example.com"_s},
                            {u"parrainage"_s, QString::fromLatin1(referral)}}),
                    "400 parrainage");
        }
    }
    void badRequestsAreRefused() {
        QFETCH(QString, route);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, type);
        QTEST(m_relay.send("POST", route, body, {{"Content-Type", type}}).refusal(), "refusal");
    }

    void wrongCodesCountDownThenLockTheAddress() {
        const QString email = address();
        QCOMPARE(requestCode(email).status, 200);
        const QString code = m_relay.lastCode(email);
        // A malformed code counts as a wrong one.
        for (int left = 4; left >= 0; --left) {
            const auto answer = verify(email, left == 4 ? u"12a"_s : wrong(code));
            QCOMPARE(answer.refusal(), u"400 code-faux"_s);
            QCOMPARE(answer.json[u"essaisRestants"_s].toInt(-1), left);
        }
        // Locked: even the right code is refused, with the waiting time.
        const auto locked = verify(email, code);
        QCOMPARE(locked.refusal(), u"429 trop-d-essais"_s);
        const int wait = locked.json[u"attente"_s].toInt();
        QVERIFY2(wait > 880 && wait <= 900, qPrintable(QString::number(wait)));
        QCOMPARE(locked.header("Retry-After").toInt(), wait);
        // After the lock-out the burnt code is gone; a new one works.
        QVERIFY(m_relay.advanceClock(901));
        QCOMPARE(verify(email, code).errorCode(), u"code-expire"_s);
        QCOMPARE(requestCode(email).status, 200);
        QCOMPARE(verify(email, m_relay.lastCode(email)).status, 200);
    }

    void codesExpireAfterTenMinutes() {
        const QString email = address();
        QCOMPARE(requestCode(email).status, 200);
        const QString code = m_relay.lastCode(email);
        QVERIFY(m_relay.advanceClock(601));
        QCOMPARE(verify(email, code).refusal(), u"400 code-expire"_s);
        // Nothing was ever requested for this one.
        QCOMPARE(verify(address(), u"123456"_s).errorCode(), u"code-expire"_s);
    }

    void fiveCodesPerHour() {
        const QString email = address();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(requestCode(email).status, 200);
        const auto refused = requestCode(email);
        QCOMPARE(refused.refusal(), u"429 trop-de-codes"_s);
        const int wait = refused.json[u"attente"_s].toInt();
        QVERIFY2(wait > 3500 && wait <= 3600, qPrintable(QString::number(wait)));
        QCOMPARE(refused.header("Retry-After"), QByteArray::number(wait));
        // Another address is not affected; this one can ask again an hour later.
        QCOMPARE(requestCode(address()).status, 200);
        QVERIFY(m_relay.advanceClock(wait));
        QCOMPARE(requestCode(email).status, 200);
    }

    void referralOutcomes() {
        const QString sponsor = address();
        const QString token = m_relay.signIn(sponsor);
        QVERIFY2(!token.isEmpty(), qPrintable(m_relay.errorString()));
        const auto referral = [&]() -> QJsonValue {
            return m_relay.account(token)[u"parrainage"_s];
        };
        const QString code = referral()[u"code"_s].toString();

        // A new account: one month of gifted Pro. The code may be typed loosely.
        const QString friendEmail = address();
        QCOMPARE(requestCode(friendEmail, code.toLower().insert(3, u'-')).status, 200);
        const auto applied = verify(friendEmail, m_relay.lastCode(friendEmail), code);
        QCOMPARE(applied.status, 200);
        QCOMPARE(applied.json[u"parrainage"_s].toString(), u"applique"_s);
        const QJsonValue gifted = applied.json[u"compte"_s];
        QCOMPARE(gifted[u"offre"_s].toString(), u"offert"_s);
        const qint64 days = m_relay.now().daysTo(
            QDateTime::fromString(gifted[u"proJusquAu"_s].toString(), Qt::ISODate));
        QVERIFY2(days >= 27 && days <= 32, qPrintable(QString::number(days)));
        QVERIFY(gifted[u"semaine"_s][u"plafond"_s].isNull());

        // An existing account keeps what it has.
        QCOMPARE(requestCode(sponsor).status, 200);
        QCOMPARE(verify(sponsor, m_relay.lastCode(sponsor), code).json[u"parrainage"_s],
                 u"compte-existant"_s);

        // The code given with the code request counts when the check omits it.
        const QString later = address();
        QCOMPARE(requestCode(later, code).status, 200);
        QCOMPARE(verify(later, m_relay.lastCode(later)).json[u"parrainage"_s], u"applique"_s);

        // An address whose account was deleted cannot collect the gift again.
        const QString friendToken = m_relay.signIn(friendEmail);
        QCOMPARE(m_relay.call("DELETE", u"api/compte"_s, friendToken).status, 204);
        QCOMPARE(requestCode(friendEmail).status, 200);
        const auto refused = verify(friendEmail, m_relay.lastCode(friendEmail), code);
        QCOMPARE(refused.status, 200);
        QCOMPARE(refused.json[u"parrainage"_s], u"refuse"_s);
        QCOMPARE(refused.json[u"compte"_s][u"offre"_s], u"gratuit"_s);
        QCOMPARE(referral()[u"amis"_s], 2);
        QCOMPARE(referral()[u"amisValides"_s], 0);
    }

    // Session tokens are kept only as digests: no file of the data folder,
    // and not the journal either, holds one.
    void tokensAreNotStoredInClear() {
        const QString token = m_relay.signIn(address());
        QVERIFY(!token.isEmpty());
        QDirIterator files(m_relay.dataDir(), QDir::Files, QDirIterator::Subdirectories);
        int checked = 0;
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(token.toLatin1()), qPrintable(path));
            ++checked;
        }
        QVERIFY(checked >= 4);
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
        QCOMPARE(m_relay.account(token)[u"email"_s], u"tokens@example.com"_s);
    }

    void wrongMethodsAndUnknownPaths() {
        const auto put = m_relay.call("PUT", u"api/compte"_s);
        QCOMPARE(put.refusal(), u"405 methode"_s);
        QCOMPARE(put.header("Allow"), QByteArray("GET, DELETE"));
        QCOMPARE(m_relay.call("GET", u"api/dicter"_s).status, 405);
        QCOMPARE(m_relay.call("DELETE", u"api/connexion/code"_s).status, 405);
        QCOMPARE(m_relay.call("GET", u"api/inconnu"_s).refusal(), u"404 introuvable"_s);
    }

    void pagesOfTheRelay() {
        const QString token = m_relay.signIn(u"pages@example.com"_s);
        const QString code = m_relay.account(token)[u"parrainage"_s][u"code"_s].toString();
        const auto invitation = m_relay.call("GET", u"r/"_s + code);
        QCOMPARE(invitation.status, 200);
        QVERIFY(invitation.header("Content-Type").startsWith("text/html"));
        QVERIFY(invitation.body.startsWith("<!DOCTYPE html>") &&
                invitation.body.contains("lang=\"fr\""));
        QVERIFY(invitation.body.contains("href=\"parlova://parrainage/" + code.toUtf8() + "\""));
        QCOMPARE(m_relay.call("GET", u"r/"_s + code.toLower()).status, 200);
        QCOMPARE(m_relay.call("GET", u"r/ZZZZZZ"_s).status, 404);
        QCOMPARE(m_relay.call("GET", u"r/%3Cscript%3E"_s).status, 404);
        // The terms, privacy and home pages: tst_relayabuse's pipelined requests.
    }

    void aRestartKeepsAccountsAndSessions() {
        const QString token = m_relay.signIn(u"durable@example.com"_s);
        QVERIFY(m_relay.setNextTranscript(u"un deux trois quatre cinq"_s));
        QCOMPARE(m_relay.dictate(token, m_take).status, 200);
        const QJsonObject before = m_relay.account(token);
        // Signing out ends only that session.
        const QString revoked = m_relay.signIn(u"durable@example.com"_s);
        QVERIFY(revoked != token);
        const auto out = m_relay.call("POST", u"api/deconnexion"_s, revoked);
        QCOMPARE(out.status, 204);
        QVERIFY(out.body.isEmpty());
        QCOMPARE(m_relay.call("POST", u"api/deconnexion"_s, revoked).status, 401);

        m_relay.stop(); // the data folder, and so the accounts, stay
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        const QJsonObject after = m_relay.account(token);
        QCOMPARE(after[u"email"_s], before[u"email"_s]);
        QCOMPARE(after[u"semaine"_s][u"mots"_s], 5);
        QCOMPARE(after[u"parrainage"_s][u"code"_s], before[u"parrainage"_s][u"code"_s]);
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, revoked).status, 401);
    }

    // A base left by an older relay is brought up to date at start; one
    // from a newer relay is refused, never stamped back to this version.
    void basesOfOtherVersionsAtStart() {
        const auto setVersion = [this](int version) {
            return m_relay.sql(m_relay.base().isEmpty()
                                   ? u"PRAGMA user_version = %1"_s.arg(version)
                                   : u"UPDATE version_schema SET version = %1"_s.arg(version));
        };
        const QString token = m_relay.signIn(u"ancien@example.com"_s);
        m_relay.stop();
        // The schema before held words lived in the base.
        QVERIFY(m_relay.sql(u"DROP TABLE mots_reserves"_s) && setVersion(3));
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        QCOMPARE(m_relay.account(token)[u"email"_s], u"ancien@example.com"_s);
        QCOMPARE(m_relay.dictate(token, m_take).status, 200);
        QCOMPARE(m_relay.sql(u"SELECT COUNT(*) FROM mots_reserves"_s).value_or(u"?"_s), u"0"_s);

        m_relay.stop();
        QVERIFY(setVersion(9));
        QVERIFY(!m_relay.start());
        QVERIFY2(m_relay.log().contains(u"plus récent (schéma 9 ; celui-ci connaît le schéma 4"_s),
                 qPrintable(m_relay.log()));
        QVERIFY(setVersion(4));
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestRelayAccount)
#include "tst_relayaccount.moc"
