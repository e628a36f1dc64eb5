// Sign-in by e-mailed code against a running relay, over HTTPS: the code
// request and its limit, the code check with its attempts, expiry and
// lock-out, e-mail and referral checks, and what is stored.

#include "RelayProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTest>

using parlova::test::RelayProcess;
using namespace Qt::StringLiterals;

class TestRelaySignIn : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    int m_serial = 0;

    // A fresh address per test, so that limits do not carry over.
    QString address() { return u"user%1@example.com"_s.arg(++m_serial); }

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
    void initTestCase() { QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString())); }

    // The code goes to the journal; its check creates a free account for the
    // trimmed, lower-case address and uses the code up.
    void signInCreatesAFreeAccount() {
        const QString email = address();
        QCOMPARE(requestCode(u"  "_s + email.toUpper()).status, 200);
        const QString code = m_relay.lastCode(email);
        QVERIFY(QRegularExpression(u"^\\d{6}$"_s).match(code).hasMatch());
        QVERIFY(m_relay.log().contains(email + u" : "_s + code));
        const auto answer = verify(email, code);
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.json[u"jeton"_s].toString().size() >= 40);
        QVERIFY(!answer.json.contains(u"parrainage"_s));
        QCOMPARE(answer.json[u"compte"_s][u"email"_s].toString(), email);
        QCOMPARE(answer.json[u"compte"_s][u"offre"_s].toString(), u"gratuit"_s);
        QCOMPARE(verify(email, code).errorCode(), u"code-expire"_s);
    }

    void badRequestBodies() {
        const auto json = [&](const QByteArray& body, const QByteArray& type = "application/json") {
            return m_relay.send("POST", u"api/connexion/code"_s, body, {{"Content-Type", type}});
        };
        QCOMPARE(json(R"({"email":"a@example.com")").refusal(), u"400 json"_s);
        QCOMPARE(json(R"({"email":42})").refusal(), u"400 json"_s);
        QCOMPARE(json(R"({"email":"a@example.com"})", "text/plain").refusal(),
                 u"415 type-contenu"_s);
        QCOMPARE(json("{\"email\":\"" + QByteArray(20000, 'a') + "@example.com\"}").status, 413);
        // A charset parameter is fine.
        QCOMPARE(json(R"({"email":"c@example.com"})", "application/json; charset=utf-8").status,
                 200);
    }

    void badAddressesAndReferralsAreRefusedByBothExchanges() {
        for (const QString& bad : {u"pas-une-adresse"_s, QString()}) {
            QCOMPARE(requestCode(bad).refusal(), u"400 email"_s);
            QCOMPARE(verify(bad, u"123456"_s).refusal(), u"400 email"_s);
        }
        const QString email = address();
        for (const QString& code : {u"ZZZZZZ"_s, u"K7M2Q0"_s}) {
            QCOMPARE(requestCode(email, code).refusal(), u"400 parrainage"_s);
            QCOMPARE(verify(email, u"123456"_s, code).refusal(), u"400 parrainage"_s);
        }
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
            return m_relay.call("GET", u"api/compte"_s, token).json[u"parrainage"_s];
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
};

QTEST_GUILESS_MAIN(TestRelaySignIn)
#include "tst_relaysignin.moc"
