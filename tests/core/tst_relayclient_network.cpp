// The relay client over real HTTPS against parlova-relais: every failure of
// the status mapping and of the transport, reached the way the program meets
// them, with the relay scripting its answers through its control route.

#include "RecordingTransport.h"
#include "RelayProcess.h"
#include "Rig.h"
#include "core/Await.h"
#include "core/NetworkTransport.h"
#include "core/RelayClient.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

using namespace parlova;
using namespace parlova::core;
using namespace std::chrono_literals;
using parlova::test::RelayProcess;

namespace {

enum Exchange { requestCode, signIn, signOut, account, deletion, checkout, portal, dictate };

const QString email = QStringLiteral("lea@example.fr");

// The failure an exchange ends with; none when it succeeded.
std::optional<RelayFailure> failureOf(const RelayClient& client, Exchange exchange,
                                      const QString& token) {
    const auto failure = [](const auto& result) {
        return result.ok() ? std::nullopt : std::optional<RelayFailure>(result.error());
    };
    using Period = PaymentPage::Period;
    switch (exchange) {
    case requestCode:
        return failure(core::waitFor(client.requestCode(email, std::nullopt)));
    case signIn:
        return failure(core::waitFor(client.signIn(email, QStringLiteral("123456"), std::nullopt)));
    case signOut:
        return failure(core::waitFor(client.signOut(token)));
    case account:
        return failure(core::waitFor(client.account(token)));
    case deletion:
        return failure(core::waitFor(client.deleteAccount(token)));
    case checkout:
        return failure(
            core::waitFor(client.paymentPage(PaymentPage::checkout(Period::yearly), token)));
    case portal:
        return failure(core::waitFor(client.paymentPage(PaymentPage::portal(), token)));
    case dictate: {
        const auto result = core::waitFor(client.dictate("son", token, DictationLanguage::french));
        // A failure that is not the relay's is never expected here.
        if (result.ok())
            return std::nullopt;
        return result.error().relayFailure().value_or(RelayFailure::unexpectedResponse(-1));
    }
    }
    return std::nullopt;
}

QString routeOf(Exchange exchange) {
    static const Route routes[] = {Route::requestCode, Route::verifyCode, Route::signOut,
                                   Route::account,     Route::account,    Route::checkout,
                                   Route::portal,      Route::dictate};
    return routePath(routes[exchange]);
}

} // namespace

class RelayClientNetworkTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RelayProcess> relay;
    QString token;

    RelayClient client(RelayTimeouts timeouts = {}) const {
        return RelayClient(relay->origin(), NetworkTransport::standard(), timeouts);
    }

    void script(Exchange exchange, int status, const QByteArray& body,
                const QString& retryAfter = {}) {
        RelayProcess::ScriptedAnswer answer(routeOf(exchange));
        answer.status = status;
        answer.rawBody = body;
        answer.contentType =
            body.startsWith('{') ? QStringLiteral("application/json") : QStringLiteral("text/html");
        answer.retryAfter = retryAfter;
        QVERIFY(relay->scriptNextAnswer(answer));
    }

private Q_SLOTS:
    void initTestCase() {
        PARLOVA_REQUIRE_RIG();
        relay = std::make_unique<RelayProcess>();
        QVERIFY2(relay->start(), qPrintable(relay->errorString()));
        token = relay->signIn(email);
        QVERIFY2(!token.isEmpty(), qPrintable(relay->errorString()));
    }

    void init() { QVERIFY(relay->clearScriptedAnswers()); }

    void refusalsMapToTheirFailure_data() {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("retryAfter");
        QTest::addColumn<RelayFailure>("expected");
        const auto row = [](const char* name, Exchange exchange, int status, const char* body,
                            RelayFailure expected, const char* retryAfter = nullptr) {
            QTest::newRow(name) << int(exchange) << status << QByteArray(body)
                                << (retryAfter ? QString::fromLatin1(retryAfter) : QString())
                                << expected;
        };
        row("400 email", requestCode, 400, R"({"erreur":"email"})", RelayFailure::invalidEmail());
        row("400 parrainage", signIn, 400, R"({"erreur":"parrainage"})",
            RelayFailure::unknownReferral());
        row("400 code-faux, 2 left", signIn, 400, R"({"erreur":"code-faux","essaisRestants":2})",
            RelayFailure::wrongCode(2));
        row("400 code-faux, -3 left", signIn, 400, R"({"erreur":"code-faux","essaisRestants":-3})",
            RelayFailure::wrongCode(0));
        row("400 code-faux, no count", signIn, 400, R"({"erreur":"code-faux"})",
            RelayFailure::unexpectedResponse(400));
        row("400 code-expire", signIn, 400, R"({"erreur":"code-expire"})",
            RelayFailure::codeExpired());
        row("400 unknown code", requestCode, 400, R"({"erreur":"autre"})",
            RelayFailure::unexpectedResponse(400));
        row("401 with an HTML body", account, 401, "<html>non</html>", RelayFailure::signedOut());
        row("402 quota", dictate, 402,
            R"({"erreur":"quota","reinitialisation":"2026-01-05T00:00:00Z"})",
            RelayFailure::quotaReached(QDateTime(QDate(2026, 1, 5), QTime(0, 0), Qt::UTC)));
        row("402 quota, bare date", dictate, 402,
            R"({"erreur":"quota","reinitialisation":"2026-01-05"})",
            RelayFailure::unexpectedResponse(402));
        row("402 other", dictate, 402, R"({"erreur":"autre"})",
            RelayFailure::unexpectedResponse(402));
        row("409 deja-abonne", checkout, 409, R"({"erreur":"deja-abonne"})",
            RelayFailure::alreadySubscribed());
        row("409 sans-abonnement", portal, 409, R"({"erreur":"sans-abonnement"})",
            RelayFailure::noSubscription());
        row("409 other", portal, 409, "{}", RelayFailure::unexpectedResponse(409));
        row("413", dictate, 413, "", RelayFailure::tooLarge());
        row("429 trop-de-codes, attente", requestCode, 429,
            R"({"erreur":"trop-de-codes","attente":90})", RelayFailure::tooManyCodes(90));
        row("429 trop-de-codes, Retry-After with spaces", requestCode, 429,
            R"({"erreur":"trop-de-codes"})", RelayFailure::tooManyCodes(120), "  120 ");
        row("429 attente wins over Retry-After", requestCode, 429,
            R"({"erreur":"trop-de-codes","attente":30})", RelayFailure::tooManyCodes(30), "600");
        row("429 trop-d-essais", signIn, 429, R"({"erreur":"trop-d-essais","attente":600})",
            RelayFailure::tooManyAttempts(600));
        row("429 without a wait", signIn, 429, R"({"erreur":"trop-d-essais"})",
            RelayFailure::unexpectedResponse(429));
        row("429 Retry-After as a date", requestCode, 429, R"({"erreur":"trop-de-codes"})",
            RelayFailure::unexpectedResponse(429), "Wed, 21 Oct 2026 07:28:00 GMT");
        row("500 configuration", account, 500, R"({"erreur":"configuration"})",
            RelayFailure::misconfigured());
        row("500 other", account, 500, "", RelayFailure::unavailable());
        row("502 HTML", account, 502, "<html>Bad gateway</html>", RelayFailure::unavailable());
        row("503 envoi", requestCode, 503, R"({"erreur":"envoi"})", RelayFailure::emailNotSent());
        row("503 paiement-indisponible", checkout, 503, R"({"erreur":"paiement-indisponible"})",
            RelayFailure::paymentUnavailable());
        row("503 other", account, 503, R"({"erreur":"maintenance"})", RelayFailure::unavailable());
        row("504", deletion, 504, "", RelayFailure::timedOut());
        row("418", account, 418, "", RelayFailure::unexpectedResponse(418));
        row("301 is not followed", account, 301, "", RelayFailure::unexpectedResponse(301));
        row("200 to sign-out", signOut, 200, "{}", RelayFailure::unexpectedResponse(200));
        row("200 to deletion", deletion, 200, "{}", RelayFailure::unexpectedResponse(200));
        row("204 to the account read", account, 204, "", RelayFailure::unexpectedResponse(204));
        row("garbage account", account, 200, "\x89PNG\r\n", RelayFailure::unexpectedResponse(200));
        row("garbage dictation", dictate, 200, "<html>", RelayFailure::unexpectedResponse(200));
        row("dictation with a bare date", dictate, 200,
            R"({"texte":"Bonjour","mots":1,"semaine":{"mots":1,"reinitialisation":"2026-01-05"}})",
            RelayFailure::unexpectedResponse(200));
        row("sign-in whose account lacks a key", signIn, 200, R"({"jeton":"t","compte":{}})",
            RelayFailure::unexpectedResponse(200));
        row("http payment page", checkout, 200, "{\"url\":\"http://127.0.0.1/paiement/x\"}",
            RelayFailure::unexpectedResponse(200));
        row("payment page without host", portal, 200, "{\"url\":\"https:///portail\"}",
            RelayFailure::unexpectedResponse(200));
    }
    void refusalsMapToTheirFailure() {
        QFETCH(int, exchange);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, retryAfter);
        QFETCH(RelayFailure, expected);
        script(Exchange(exchange), status, body, retryAfter);
        const std::optional<RelayFailure> failure = failureOf(client(), Exchange(exchange), token);
        QVERIFY(failure);
        QCOMPARE(failure->caseText(), expected.caseText());
        QCOMPARE(*failure, expected);
    }

    void aSilentRelayTimesOut() {
        // The product waits 20 s (45 s for a dictation); the test shortens
        // each in turn and shows that the other one is not used.
        for (const auto& [exchange, timeouts] :
             {std::pair{account, RelayTimeouts{300ms, 10s}}, {dictate, {10s, 300ms}}}) {
            RelayProcess::ScriptedAnswer slow(routeOf(exchange));
            slow.delayMs = 3000;
            QVERIFY(relay->scriptNextAnswer(slow));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(failureOf(client(timeouts), exchange, token), RelayFailure::timedOut());
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        }
    }

    void lostAndMissingConnectionsAreOffline() {
        RelayProcess::ScriptedAnswer dropped(routeOf(account));
        dropped.drop = true;
        dropped.times = 10; // Qt sends again, a few times, when a connection closes unanswered
        QVERIFY(relay->scriptNextAnswer(dropped));
        QCOMPARE(failureOf(client(), account, token), RelayFailure::offline());

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        const RelayClient refused(QUrl(QStringLiteral("https://127.0.0.1:%1").arg(port)));
        QCOMPARE(failureOf(refused, account, token), RelayFailure::offline());

        const RelayClient nowhere(QUrl(QStringLiteral("https://parlova.invalid")));
        QCOMPARE(failureOf(nowhere, account, token), RelayFailure::offline());
    }

    void aCertificateTheSystemDoesNotTrustIsUnavailable() {
        RelayProcess untrusted(RelayProcess::Settings().untrusted());
        QVERIFY2(untrusted.start(), qPrintable(untrusted.errorString()));
        QCOMPARE(failureOf(RelayClient(untrusted.origin()), account, token),
                 RelayFailure::unavailable());
    }

    void dictationsAreTrimmedAndEmptyOnesAreNoSpeech() {
        script(dictate, 200,
               R"({"texte":"  Bonjour à tous.\n ","mots":7,"semaine":{"mots":40,"plafond":2000,)"
               R"("reste":1960,"reinitialisation":"2026-01-05T00:00:00.250Z"}})");
        const auto dictation =
            core::waitFor(client().dictate("son", token, DictationLanguage::automatic));
        QVERIFY(dictation.ok());
        QCOMPARE(dictation->text, QStringLiteral("Bonjour à tous."));
        QCOMPARE(dictation->words, 7);
        QCOMPARE(dictation->week.remaining, 1960);

        script(dictate, 200,
               R"({"texte":" \n ","mots":0,"semaine":{"mots":40,"reinitialisation":)"
               R"("2026-01-05T00:00:00Z"}})");
        QCOMPARE(
            core::waitFor(client().dictate("son", token, DictationLanguage::automatic)).error(),
            DictationFailure::noSpeech());
    }
};

QTEST_GUILESS_MAIN(RelayClientNetworkTest)
#include "tst_relayclient_network.moc"
