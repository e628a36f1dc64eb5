// The session controller against a transport whose answers the test hands
// out in any order (for the races), and against a local relay.

#include "AccountJson.h"
#include "PendingTransport.h"
#include "RelayProcess.h"
#include "Rig.h"
#include "app/controllers/SessionController.h"
#include "app/fake/FakeClock.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace parlova;
using namespace parlova::app;
using parlova::test::accountJson;
using parlova::test::answer;
using parlova::test::PendingTransport;
using namespace Qt::StringLiterals;

namespace {

// Built on first use: the item's names are constants of another file.
core::KeychainItem item() {
    return core::KeychainItem::session();
}

// A session over a keychain holding `token` and a relay reached through
// `transport`; preferences in a temporary file.
struct Session {
    QTemporaryDir dir;
    core::MemorySecretStore secrets;
    core::AsyncKeychain keychain{secrets};
    FakeClock clock;
    StatusModel status;
    std::unique_ptr<SessionController> controller;

    Session(std::shared_ptr<core::RelayTransport> transport, const QString& token,
            const QUrl& origin = QUrl(u"https://relais.example"_s), const QString& authority = {}) {
        if (!token.isEmpty())
            secrets.put(item().service(), item().account(), item().label(), token.toUtf8());
        auto settings =
            std::make_shared<QSettings>(dir.filePath(u"p.conf"_s), QSettings::IniFormat);
        settings->setValue(u"relayURL"_s, origin.toString());
        settings->setValue(u"relayCertificate"_s, authority);
        controller = std::make_unique<SessionController>(
            status, keychain, core::SettingsStore(settings), clock, std::move(transport));
        core::waitFor(controller->start());
    }

    std::optional<qint64> remaining() const {
        return status.account() ? status.account()->week.remaining : std::nullopt;
    }
};

} // namespace

class SessionControllerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Steps: "read" starts a read; "answer N R" answers exchange N with R
    // words left; "week R" reports a dictation's week ("week -" uncapped).
    // The session starts with read 0 answered, 1000 words left.
    void shownAccount_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<int>("exchanges");
        QTest::newRow("newer read answers first")
            << QStringList{"read", "read", "answer 2 100", "answer 1 500"} << qint64(100) << 3;
        QTest::newRow("read overtaken by a week")
            << QStringList{"read", "week 42", "answer 1 500"} << qint64(42) << 2;
        QTest::newRow("read started after a week")
            << QStringList{"week 42", "read", "answer 1 500"} << qint64(500) << 2;
        QTest::newRow("uncapped week on a free account reads instead")
            << QStringList{"week -"} << qint64(1000) << 2;
    }
    void shownAccount() {
        QFETCH(QStringList, steps);
        auto transport = PendingTransport::make();
        Session session(transport, u"jeton-a"_s);
        transport->answer(0, answer(200, accountJson(u"gratuit"_s, 1000)));
        const QDateTime reset = QDateTime::fromString(u"2026-03-09T00:00:00Z"_s, Qt::ISODate);
        for (const QString& step : steps) {
            const QStringList words = step.split(u' ');
            if (words[0] == u"read")
                session.controller->refreshAccount();
            else if (step == u"week -")
                session.controller->update({0, std::nullopt, std::nullopt, reset});
            else if (words[0] == u"week")
                session.controller->update({0, 2000, words[1].toInt(), reset});
            else
                transport->answer(words[1].toInt(),
                                  answer(200, accountJson(u"gratuit"_s, words[2].toInt())));
        }
        QTEST(*session.remaining(), "remaining");
        QTEST(int(transport->count()), "exchanges");
        transport->answerAll(answer(503, QJsonObject{{"erreur", "indisponible"}}));
    }

    // A read of the first account is on its way when the user signs out and
    // signs in with another one; it then fails as signed out.
    void lateAnswersOfAnEndedSession() {
        auto transport = PendingTransport::make();
        Session session(transport, u"jeton-a"_s);
        QSignalSpy signedOut(session.controller.get(), &SessionController::signedOut);
        session.controller->signOut(); // exchange 1: the relay is told in the background
        QCOMPARE(signedOut.count(), 1);
        QVERIFY(!session.status.signedIn());

        QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>> signingIn =
            session.controller->signIn(u"noe@example.fr"_s, u"123456"_s, std::nullopt);
        transport->answer(2,
                          answer(200, {{"jeton", "jeton-b"}, {"compte", accountJson(u"pro"_s)}}));
        QVERIFY(core::waitFor(std::move(signingIn)).ok());
        transport->answer(0, answer(401, QJsonObject{{"erreur", "session"}}));
        transport->answer(1, answer(401, QJsonObject{{"erreur", "session"}}));

        QCOMPARE(signedOut.count(), 1);
        QCOMPARE(session.controller->token(), std::optional<QString>(u"jeton-b"_s));
        QCOMPARE(session.status.account()->offer.kind(), core::Account::Offer::Kind::pro);
        QTRY_COMPARE(session.secrets.value(item().service(), item().account()),
                     std::optional<QByteArray>("jeton-b"));
    }

    // The watch reads every 5 s after a page opens, until the subscription
    // differs from the one shown then, or for 120 s.
    void paymentWatch() {
        // Cancelled at the third read, or nothing changes.
        for (const auto& [cancelsLater, reads] : {std::pair(true, 3), std::pair(false, 24)}) {
            auto transport = PendingTransport::make();
            Session session(transport, u"jeton-a"_s);
            const QJsonObject before = accountJson(u"pro"_s, 0, u"2026-03-09T00:00:00Z"_s, false);
            const QJsonObject after = accountJson(u"pro"_s, 0, u"2026-03-09T00:00:00Z"_s, true);
            transport->answer(0, answer(200, before));
            session.controller->watchPayment();
            QVERIFY(session.status.paymentPending());
            for (int second = 5; second <= 130; second += 5) {
                session.clock.advance(5);
                if (transport->isWaiting(transport->count() - 1))
                    transport->answer(transport->count() - 1,
                                      answer(200, cancelsLater && second == 15 ? after : before));
            }
            QCOMPARE(int(transport->count()) - 1, reads);
            QVERIFY(!session.status.paymentPending());
            QCOMPARE(session.status.account()->subscription->cancelsAtPeriodEnd, cancelsLater);

            // Afterwards only an activation reads, and only while nothing changed.
            session.controller->applicationDidBecomeActive();
            QCOMPARE(int(transport->count()) - 1, cancelsLater ? 3 : 25);
            transport->answerAll(answer(200, before));
        }
    }

    // Over the local relay: the token read at start, the account deleted.
    // (Signing in again with a mailed code: tst_dictationfaults.)
    void overTheLocalRelay() {
        PARLOVA_REQUIRE_RIG();
        test::RelayProcess relay;
        QVERIFY2(relay.start(), qPrintable(relay.errorString()));
        const QString token = relay.signIn(u"lea@example.fr"_s);
        Session session(nullptr, token, relay.origin(), relay.authorityCertificatePath());
        QTRY_COMPARE(session.status.account().has_value(), true);

        QSignalSpy signedOut(session.controller.get(), &SessionController::signedOut);
        QVERIFY(core::waitFor(session.controller->deleteAccount()).ok());
        QCOMPARE(signedOut.count(), 1);
        QCOMPARE(core::waitFor(session.controller->deleteAccount()).error(),
                 core::RelayFailure::signedOut());
        QTRY_VERIFY(!session.secrets.contains(item().service(), item().account()));
        QCOMPARE(relay.call("GET", u"api/compte"_s, token).status, 401);
    }
};

QTEST_GUILESS_MAIN(SessionControllerTest)
#include "tst_sessioncontroller.moc"
