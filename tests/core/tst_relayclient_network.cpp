// The relay client over real HTTPS against parlova-relais, for what only the
// network shows: headers through Qt's stack, redirects, missing connections
// and TLS trust. The status mapping itself is a table in tst_relayfailure.

#include "RelayProcess.h"
#include "Rig.h"
#include "ToolRun.h"
#include "core/Await.h"
#include "core/relayclient/NetworkTransport.h"
#include "core/relayclient/RelayClient.h"

#include <QTcpServer>
#include <QTest>

using namespace parlova;
using namespace parlova::core;
using namespace Qt::StringLiterals;
using parlova::test::RelayProcess;
using parlova::test::ToolRun;

namespace {

const QString email = u"lea@example.fr"_s;
// Set in the child run inside a network namespace without any route.
const char* const noRouteVariable = "PARLOVA_TEST_NO_ROUTE";

std::optional<RelayFailure> accountFailure(const RelayClient& client, const QString& token) {
    const auto result = core::waitFor(client.account(token));
    return result ? std::nullopt : std::optional(result.error());
}

} // namespace

class RelayClientNetworkTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RelayProcess> relay;
    QString token;

    RelayClient client() const {
        return RelayClient(relay->origin(), NetworkTransport::standard(), {},
                           QSslCertificate::fromPath(relay->authorityCertificatePath()));
    }

    void script(const QString& route, int status, const QByteArray& body,
                const QString& retryAfter = {}) {
        RelayProcess::ScriptedAnswer answer(route);
        answer.status = status;
        answer.rawBody = body;
        answer.contentType = u"application/json"_s;
        answer.retryAfter = retryAfter;
        QVERIFY(relay->scriptNextAnswer(answer));
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsSet(noRouteVariable))
            return;
        PARLOVA_REQUIRE_RIG();
        relay = std::make_unique<RelayProcess>();
        QVERIFY2(relay->start(), qPrintable(relay->errorString()));
        token = relay->signIn(email);
        QVERIFY2(!token.isEmpty(), qPrintable(relay->errorString()));
    }

    void init() {
        if (relay)
            QVERIFY(relay->clearScriptedAnswers());
    }

    void headersAndRedirectsReachTheMapping() {
        const QString code = routePath(Route::requestCode);
        script(code, 429, R"({"erreur":"trop-de-codes"})", u"  120 "_s);
        QCOMPARE(core::waitFor(client().requestCode(email, std::nullopt)).error(),
                 RelayFailure::tooManyCodes(120));
        // A redirect is an answer of its own, never followed with the token.
        script(routePath(Route::account), 301, "");
        QCOMPARE(accountFailure(client(), token), RelayFailure::unexpectedResponse(301));
    }

    // Time-outs and dropped connections: tst_dictationfaults.
    void aRefusedConnectionIsOffline() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        const RelayClient refused(QUrl(u"https://127.0.0.1:%1"_s.arg(port)),
                                  NetworkTransport::standard());
        QCOMPARE(accountFailure(refused, token), RelayFailure::offline());
    }

    // No route at all: the test runs itself again in a network namespace of
    // its own, where even the loopback interface is down.
    void anUnreachableNetworkIsOffline() {
        if (qEnvironmentVariableIsSet(noRouteVariable)) {
            for (const char* origin : {"https://192.0.2.1", "https://127.0.0.1:8443"}) {
                const RelayClient nowhere(QUrl(QString::fromLatin1(origin)),
                                          NetworkTransport::standard());
                QCOMPARE(accountFailure(nowhere, u"jeton"_s), RelayFailure::offline());
            }
            return;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(noRouteVariable), u"1"_s);
        const ToolRun child = ToolRun::of(u"unshare"_s,
                                          {u"--user"_s, u"--map-root-user"_s, u"--net"_s,
                                           QCoreApplication::applicationFilePath(),
                                           u"anUnreachableNetworkIsOffline"_s},
                                          environment);
        QVERIFY2(child.ok(), child.out.constData());
    }

    void trustIsTheRelayAuthority() {
        // Without the authority, the system store alone decides: refused. (A
        // transport of its own, so that no trusted connection is reused.)
        const RelayClient systemOnly(relay->origin(), std::make_shared<NetworkTransport>());
        QCOMPARE(accountFailure(systemOnly, token), RelayFailure::unavailable());
    }

    // A blank transcript as no speech: tst_relaycommands.
    void dictationsAreTrimmed() {
        const QString dictate = routePath(Route::dictate);
        script(dictate, 200,
               R"({"texte":"  Bonjour à tous.\n ","mots":7,"semaine":{"mots":40,"plafond":2000,)"
               R"("reste":1960,"reinitialisation":"2026-01-05T00:00:00.250Z"}})");
        const auto dictation =
            core::waitFor(client().dictate("son", token, DictationLanguage::automatic));
        QVERIFY(dictation.ok());
        QCOMPARE(dictation->text, u"Bonjour à tous."_s);
    }
};

QTEST_GUILESS_MAIN(RelayClientNetworkTest)
#include "tst_relayclient_network.moc"
