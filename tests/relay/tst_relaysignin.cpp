// Sign-in by e-mailed code against a running relay, over HTTPS: the code
// request and its limit, the code check with its attempts, expiry and
// lock-out, e-mail and referral checks, and what is stored.

#include "RelayProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using parlova::test::RelayProcess;

namespace {

QJsonObject emailBody(const QString& email) {
    return {{QStringLiteral("email"), email}};
}

} // namespace

class TestRelaySignIn : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    int m_serial = 0;

    // A fresh address per test, so that limits do not carry over.
    QString address() { return QStringLiteral("user%1@example.com").arg(++m_serial); }

    RelayProcess::Answer requestCode(const QJsonObject& body) {
        return m_relay.sendJson("POST", QStringLiteral("api/connexion/code"), body);
    }
    RelayProcess::Answer verify(const QString& email, const QString& code,
                                const QString& referral = {}) {
        QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("code"), code}};
        if (!referral.isEmpty())
            body.insert(QStringLiteral("parrainage"), referral);
        return m_relay.sendJson("POST", QStringLiteral("api/connexion/verifier"), body);
    }
    // A code that is not the one sent.
    static QString wrong(const QString& code) {
        return code == u"000000" ? QStringLiteral("111111") : QStringLiteral("000000");
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString())); }

    void codeRequestSendsASixDigitCodeToTheJournal() {
        const QString email = address();
        const auto answer = requestCode(emailBody(email));
        QCOMPARE(answer.status, 200);
        const QString code = m_relay.lastCode(email);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{6}$")).match(code).hasMatch());
        QVERIFY(m_relay.log().contains(email + QStringLiteral(" : ") + code));
    }

    void signInCreatesAFreeAccount() {
        const QString email = address();
        QCOMPARE(requestCode(emailBody(QStringLiteral("  ") + email.toUpper())).status, 200);
        const auto answer = verify(email, m_relay.lastCode(email));
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.json.value(QStringLiteral("jeton")).toString().size() >= 40);
        QVERIFY(!answer.json.contains(QStringLiteral("parrainage")));
        const QJsonObject account = answer.json.value(QStringLiteral("compte")).toObject();
        QCOMPARE(account.value(QStringLiteral("email")).toString(), email);
        QCOMPARE(account.value(QStringLiteral("offre")).toString(), QStringLiteral("gratuit"));
        // The code is used up by a successful check.
        QCOMPARE(verify(email, m_relay.lastCode(email)).errorCode(), QStringLiteral("code-expire"));
    }

    void badRequestBodies() {
        const auto json = [&](const QByteArray& body, const QByteArray& type) {
            return m_relay.send("POST", QStringLiteral("api/connexion/code"), body,
                                {{"Content-Type", type}});
        };
        const auto notJson = json(R"({"email":"a@example.com")", "application/json");
        QCOMPARE(notJson.status, 400);
        QCOMPARE(notJson.errorCode(), QStringLiteral("json"));
        QCOMPARE(json(R"(["a@example.com"])", "application/json").errorCode(),
                 QStringLiteral("json"));
        QCOMPARE(json(R"({"email":42})", "application/json").errorCode(), QStringLiteral("json"));
        QCOMPARE(json(R"({})", "application/json").errorCode(), QStringLiteral("json"));
        QCOMPARE(
            json(R"({"email":"a@example.com","parrainage":7})", "application/json").errorCode(),
            QStringLiteral("json"));
        const auto text = json(R"({"email":"a@example.com"})", "text/plain");
        QCOMPARE(text.status, 415);
        QCOMPARE(text.errorCode(), QStringLiteral("type-contenu"));
        const auto huge =
            json("{\"email\":\"" + QByteArray(20000, 'a') + "@example.com\"}", "application/json");
        QCOMPARE(huge.status, 413);
        // A charset parameter is fine.
        QCOMPARE(
            json(R"({"email":"charset@example.com"})", "application/json; charset=utf-8").status,
            200);
    }

    void invalidAddressesAreRefusedByBothExchanges() {
        for (const char* bad : {"pas-une-adresse", "a@b", "a b@example.com", ""}) {
            const auto asked = requestCode(emailBody(QString::fromLatin1(bad)));
            QCOMPARE(asked.status, 400);
            QCOMPARE(asked.errorCode(), QStringLiteral("email"));
            QCOMPARE(verify(QString::fromLatin1(bad), QStringLiteral("123456")).errorCode(),
                     QStringLiteral("email"));
        }
    }

    void unknownReferralCodesAreRefused() {
        const QString email = address();
        for (const char* code : {"ZZZZZZ", "K7M2Q0", "trop-long-code"}) {
            QJsonObject body = emailBody(email);
            body.insert(QStringLiteral("parrainage"), QString::fromLatin1(code));
            const auto asked = requestCode(body);
            QCOMPARE(asked.status, 400);
            QCOMPARE(asked.errorCode(), QStringLiteral("parrainage"));
            QCOMPARE(verify(email, QStringLiteral("123456"), QString::fromLatin1(code)).errorCode(),
                     QStringLiteral("parrainage"));
        }
    }

    void wrongCodesCountDownThenLockTheAddress() {
        const QString email = address();
        QCOMPARE(requestCode(emailBody(email)).status, 200);
        const QString code = m_relay.lastCode(email);
        for (int left = 4; left >= 0; --left) {
            const auto answer = verify(email, wrong(code));
            QCOMPARE(answer.status, 400);
            QCOMPARE(answer.errorCode(), QStringLiteral("code-faux"));
            QCOMPARE(answer.json.value(QStringLiteral("essaisRestants")).toInt(-1), left);
        }
        // Locked: even the right code is refused, with the waiting time.
        const auto locked = verify(email, code);
        QCOMPARE(locked.status, 429);
        QCOMPARE(locked.errorCode(), QStringLiteral("trop-d-essais"));
        const int wait = locked.json.value(QStringLiteral("attente")).toInt();
        QVERIFY2(wait > 880 && wait <= 900, qPrintable(QString::number(wait)));
        QCOMPARE(locked.header("Retry-After").toInt(), wait);
        // After the lock-out the burnt code is gone; a new one works.
        QVERIFY(m_relay.advanceClock(901));
        QCOMPARE(verify(email, code).errorCode(), QStringLiteral("code-expire"));
        QCOMPARE(requestCode(emailBody(email)).status, 200);
        QCOMPARE(verify(email, m_relay.lastCode(email)).status, 200);
    }

    void malformedCodeCountsAsAWrongAttempt() {
        const QString email = address();
        QCOMPARE(requestCode(emailBody(email)).status, 200);
        const auto answer = verify(email, QStringLiteral("12a"));
        QCOMPARE(answer.errorCode(), QStringLiteral("code-faux"));
        QCOMPARE(answer.json.value(QStringLiteral("essaisRestants")).toInt(), 4);
    }

    void codesExpireAfterTenMinutes() {
        const QString email = address();
        QCOMPARE(requestCode(emailBody(email)).status, 200);
        const QString code = m_relay.lastCode(email);
        QVERIFY(m_relay.advanceClock(601));
        const auto answer = verify(email, code);
        QCOMPARE(answer.status, 400);
        QCOMPARE(answer.errorCode(), QStringLiteral("code-expire"));
        // Nothing was ever requested for this one.
        QCOMPARE(verify(address(), QStringLiteral("123456")).errorCode(),
                 QStringLiteral("code-expire"));
    }

    void aNewCodeReplacesThePreviousOne() {
        const QString email = address();
        QCOMPARE(requestCode(emailBody(email)).status, 200);
        const QString first = m_relay.lastCode(email);
        QString second;
        do { // two draws may coincide
            QCOMPARE(requestCode(emailBody(email)).status, 200);
            second = m_relay.lastCode(email);
        } while (second == first);
        QCOMPARE(verify(email, first).errorCode(), QStringLiteral("code-faux"));
        QCOMPARE(verify(email, second).status, 200);
    }

    void fiveCodesPerHour() {
        const QString email = address();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(requestCode(emailBody(email)).status, 200);
        const auto refused = requestCode(emailBody(email));
        QCOMPARE(refused.status, 429);
        QCOMPARE(refused.errorCode(), QStringLiteral("trop-de-codes"));
        const int wait = refused.json.value(QStringLiteral("attente")).toInt();
        QVERIFY2(wait > 3500 && wait <= 3600, qPrintable(QString::number(wait)));
        QCOMPARE(refused.header("Retry-After"), QByteArray::number(wait));
        // Another address is not affected; this one can ask again an hour later.
        QCOMPARE(requestCode(emailBody(address())).status, 200);
        QVERIFY(m_relay.advanceClock(wait));
        QCOMPARE(requestCode(emailBody(email)).status, 200);
    }

    void referralOutcomes() {
        const QString sponsor = address();
        const QString token = m_relay.signIn(sponsor);
        QVERIFY2(!token.isEmpty(), qPrintable(m_relay.errorString()));
        const QString code = m_relay.call("GET", QStringLiteral("api/compte"), token)
                                 .json.value(QStringLiteral("parrainage"))
                                 .toObject()
                                 .value(QStringLiteral("code"))
                                 .toString();

        // A new account: one month of gifted Pro. The code may be typed loosely.
        const QString friendEmail = address();
        QJsonObject body = emailBody(friendEmail);
        body.insert(QStringLiteral("parrainage"), code.toLower().insert(3, u'-'));
        QCOMPARE(requestCode(body).status, 200);
        const auto applied = verify(friendEmail, m_relay.lastCode(friendEmail), code);
        QCOMPARE(applied.status, 200);
        QCOMPARE(applied.json.value(QStringLiteral("parrainage")).toString(),
                 QStringLiteral("applique"));
        const QJsonObject gifted = applied.json.value(QStringLiteral("compte")).toObject();
        QCOMPARE(gifted.value(QStringLiteral("offre")).toString(), QStringLiteral("offert"));
        const QDateTime until = QDateTime::fromString(
            gifted.value(QStringLiteral("proJusquAu")).toString(), Qt::ISODate);
        const qint64 days = QDateTime::currentDateTimeUtc().daysTo(until);
        QVERIFY2(days >= 27 && days <= 32, qPrintable(QString::number(days)));
        QVERIFY(gifted.value(QStringLiteral("semaine"))
                    .toObject()
                    .value(QStringLiteral("plafond"))
                    .isNull());

        // An existing account keeps what it has.
        QCOMPARE(requestCode(emailBody(sponsor)).status, 200);
        const auto existing = verify(sponsor, m_relay.lastCode(sponsor), code);
        QCOMPARE(existing.json.value(QStringLiteral("parrainage")).toString(),
                 QStringLiteral("compte-existant"));

        // The code given with the code request counts when the check omits it.
        const QString later = address();
        QCOMPARE(requestCode(QJsonObject{{QStringLiteral("email"), later},
                                         {QStringLiteral("parrainage"), code}})
                     .status,
                 200);
        QCOMPARE(verify(later, m_relay.lastCode(later)).json.value(QStringLiteral("parrainage")),
                 QJsonValue(QStringLiteral("applique")));

        // An address whose account was deleted cannot collect the gift again.
        const QString friendToken = m_relay.signIn(friendEmail);
        QCOMPARE(m_relay.call("DELETE", QStringLiteral("api/compte"), friendToken).status, 204);
        QCOMPARE(requestCode(emailBody(friendEmail)).status, 200);
        const auto refused = verify(friendEmail, m_relay.lastCode(friendEmail), code);
        QCOMPARE(refused.status, 200);
        QCOMPARE(refused.json.value(QStringLiteral("parrainage")).toString(),
                 QStringLiteral("refuse"));
        QCOMPARE(
            refused.json.value(QStringLiteral("compte")).toObject().value(QStringLiteral("offre")),
            QJsonValue(QStringLiteral("gratuit")));

        const QJsonObject stats = m_relay.call("GET", QStringLiteral("api/compte"), token)
                                      .json.value(QStringLiteral("parrainage"))
                                      .toObject();
        QCOMPARE(stats.value(QStringLiteral("amis")).toInt(), 2);
        QCOMPARE(stats.value(QStringLiteral("amisValides")).toInt(), 0);
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
