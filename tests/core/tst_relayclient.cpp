// The relay client: first how the relay's answers read as failures (the
// status mapping, the failures' texts, the windows they open and the order
// of what blocks a dictation), then what goes on the wire (method, address,
// headers and body bytes, recorded by a transport that never touches the
// network), then over real HTTPS against parlova-relais what only the
// network shows: headers through Qt's stack, redirects, missing connections
// and TLS trust.

#include "RecordingTransport.h"
#include "RelayProcess.h"
#include "Rig.h"
#include "ToolRun.h"
#include "core/Await.h"
#include "core/domain/Readiness.h"
#include "core/relayclient/NetworkTransport.h"
#include "core/relayclient/RelayClient.h"

#include <QTcpServer>
#include <QTest>
#include <QTimeZone>

using namespace parlova;
using namespace parlova::core;
using namespace Qt::StringLiterals;
using parlova::test::RecordingTransport;
using parlova::test::RelayProcess;
using parlova::test::ToolRun;
using Failure = RelayFailure;
using Microphone = Readiness::Microphone;

namespace {

const QDateTime monday = QDateTime(QDate(2026, 1, 5), QTime(0, 0), Qt::UTC);

struct Row {
    int status;
    const char* body;
    const char* retryAfter; // nullptr: no header
    Failure expected;
};

const QString token = QStringLiteral("jeton-de-test");
const QString email = QStringLiteral("lea@example.fr");
const QString referral = QStringLiteral("K7M2QX");
const QByteArray audio("\x00\x00\x00\x1c"
                       "ftypM4A \r\n--fin\xff",
                       20);

using Outcome = std::optional<RelayFailure>;

// The relay failure an exchange ends with; none when it succeeded.
template <typename T, typename E>
Outcome failureOf(QCoro::Task<Result<T, E>> exchange) {
    const Result<T, E> result = core::waitFor(std::move(exchange));
    if (result)
        return std::nullopt;
    if constexpr (std::is_same_v<E, RelayFailure>)
        return result.error();
    else
        return result.error().relayFailure();
}

// Every exchange, the dictations last, in the order of the names below; the
// sign-in ones with a referral.
using Call = Outcome (*)(const RelayClient&);
const Call exchanges[] = {
    [](const RelayClient& c) { return failureOf(c.requestCode(email, referral)); },
    [](const RelayClient& c) { return failureOf(c.signIn(email, u"123456"_s, referral)); },
    [](const RelayClient& c) { return failureOf(c.signOut(token)); },
    [](const RelayClient& c) { return failureOf(c.account(token)); },
    [](const RelayClient& c) { return failureOf(c.deleteAccount(token)); },
    [](const RelayClient& c) {
        return failureOf(c.paymentPage(PaymentPage::checkout(PaymentPage::Period::yearly), token));
    },
    [](const RelayClient& c) { return failureOf(c.paymentPage(PaymentPage::portal(), token)); },
    [](const RelayClient& c) {
        return failureOf(c.dictate(audio, token, DictationLanguage::french));
    },
    [](const RelayClient& c) {
        return failureOf(c.dictate(audio, token, DictationLanguage::automatic));
    },
};
enum Exchange { codeRequest, signIn, signOut, account, deletion, checkout, portal, dictation };
constexpr int automaticDictation = dictation + 1;

QList<QByteArray> headerNames(const RelayTransport::Request& request) {
    QList<QByteArray> names;
    for (const RelayTransport::Header& header : request.headers)
        names.append(header.first.toLower());
    std::sort(names.begin(), names.end());
    return names;
}

// The boundary announced in the Content-Type of a recorded upload.
QByteArray boundaryOf(const RelayTransport::Request& request) {
    const QByteArray type = request.header("content-type").value_or(QByteArray());
    const QByteArray prefix = "multipart/form-data; boundary=";
    return type.startsWith(prefix) ? type.mid(prefix.size()) : QByteArray();
}

// Set in the child run inside a network namespace without any route.
const char* const noRouteVariable = "PARLOVA_TEST_NO_ROUTE";

} // namespace

class RelayClientTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<RecordingTransport> transport = RecordingTransport::make();
    // With a trailing slash that the routes must not double.
    RelayClient client{QUrl(QStringLiteral("https://relais.example:8443/")), transport};
    std::unique_ptr<RelayProcess> relay;
    QString relayToken;

    // The local relay, started for the first test that needs it.
    bool relayStarted() {
        if (!relay) {
            relay = std::make_unique<RelayProcess>();
            if (relay->start())
                relayToken = relay->signIn(email);
        }
        return !relayToken.isEmpty() && relay->clearScriptedAnswers();
    }

    RelayClient networkClient() const {
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
    void init() { transport->requests.clear(); }

    void statusMapping() {
        const Row rows[] = {
            {400, R"({"erreur":"email"})", nullptr, Failure::invalidEmail()},
            {400, R"({"erreur":"email")", nullptr, Failure::unexpectedResponse(400)},
            {400, R"({"erreur":"parrainage"})", nullptr, Failure::unknownReferral()},
            {400, R"({"erreur":"code-faux","essaisRestants":2})", nullptr, Failure::wrongCode(2)},
            {400, R"({"erreur":"code-faux","essaisRestants":-3})", nullptr, Failure::wrongCode(0)},
            {400, R"({"erreur":"code-faux","essaisRestants":"2"})", nullptr,
             Failure::unexpectedResponse(400)},
            {400, R"({"erreur":"code-expire"})", nullptr, Failure::codeExpired()},
            {400, R"({"erreur":"autre"})", nullptr, Failure::unexpectedResponse(400)},
            {401, "<html>non</html>", nullptr, Failure::signedOut()},
            {402, R"({"erreur":"quota","reinitialisation":"2026-01-05T01:00:00.000+01:00"})",
             nullptr, Failure::quotaReached(monday)},
            {402, R"({"erreur":"quota","reinitialisation":"2026-01-05T01:00:00+0100"})", nullptr,
             Failure::quotaReached(monday)},
            {402, R"({"erreur":"quota","reinitialisation":"2026-01-05"})", nullptr,
             Failure::unexpectedResponse(402)},
            {409, R"({"erreur":"deja-abonne"})", nullptr, Failure::alreadySubscribed()},
            {409, R"({"erreur":"sans-abonnement"})", nullptr, Failure::noSubscription()},
            {413, "", nullptr, Failure::tooLarge()},
            {429, R"({"erreur":"trop-de-codes","attente":90})", nullptr, Failure::tooManyCodes(90)},
            {429, R"({"erreur":"trop-de-codes"})", " \t120 ", Failure::tooManyCodes(120)},
            {429, R"({"erreur":"trop-de-codes","attente":30})", "600", Failure::tooManyCodes(30)},
            {429, R"({"erreur":"trop-d-essais","attente":"90"})", "30",
             Failure::tooManyAttempts(30)},
            {429, R"({"erreur":"trop-d-essais"})", nullptr, Failure::unexpectedResponse(429)},
            {429, R"({"erreur":"trop-de-codes"})", "Wed, 21 Oct 2026 07:28:00 GMT",
             Failure::unexpectedResponse(429)},
            {429, R"({"erreur":"trop-de-codes"})", "99999999999999999999",
             Failure::unexpectedResponse(429)},
            {500, R"({"erreur":"configuration"})", nullptr, Failure::misconfigured()},
            {500, "", nullptr, Failure::unavailable()},
            {502, "<html>Bad gateway</html>", nullptr, Failure::unavailable()},
            {503, R"({"erreur":"envoi"})", nullptr, Failure::emailNotSent()},
            {503, R"({"erreur":"paiement-indisponible"})", nullptr, Failure::paymentUnavailable()},
            {504, R"({"erreur":"envoi"})", nullptr, Failure::timedOut()},
            {418, R"({"erreur":"email"})", nullptr, Failure::unexpectedResponse(418)},
        };
        for (const Row& row : rows) {
            const std::optional<QString> header =
                row.retryAfter ? std::optional(QString::fromUtf8(row.retryAfter)) : std::nullopt;
            const Failure failure = Failure::fromStatus(row.status, row.body, header);
            QVERIFY2(failure == row.expected,
                     qPrintable(u"%1 %2 [%3]: %4"_s.arg(row.status)
                                    .arg(row.body, row.retryAfter ? row.retryAfter : "",
                                         failure.caseText())));
        }
    }

    void caseTextCarriesLabelledValues() {
        // Written in UTC whatever zone the date came in.
        const QDateTime paris(QDate(2026, 1, 5), QTime(1, 0), QTimeZone("Europe/Paris"));
        QCOMPARE(Failure::quotaReached(paris).caseText(),
                 u"quotaReached(resetsAt: 2026-01-05 00:00:00 +0000)"_s);
        QCOMPARE(DictationFailure::relay(Failure::wrongCode(1)).caseText(),
                 u"relay(wrongCode(attemptsLeft: 1))"_s);
        // Equality looks at the carried value too.
        QVERIFY(!(Failure::tooManyCodes(60) == Failure::tooManyAttempts(60)));
        QVERIFY(!(DictationFailure::relay(Failure::unexpectedResponse(400)) ==
                  DictationFailure::relay(Failure::unexpectedResponse(402))));
    }

    void delayRoundsUp() {
        const std::pair<qint64, QString> rows[] = {
            {0, u"1 minute"_s},
            {61, u"2 minutes"_s},
            {3540, u"59 minutes"_s},
            {3541, u"1 heure"_s},
            {3601, u"2 heures"_s},
            {std::numeric_limits<qint64>::max(), u"2562047788015216 heures"_s},
            {std::numeric_limits<qint64>::min(), u"1 minute"_s},
        };
        for (const auto& [seconds, expected] : rows)
            QCOMPARE(Failure::delay(seconds), expected);
    }

    // Only what the messages add to the catalog: the count of attempts, its
    // plural, and the delay's wording.
    void messages() {
        QCOMPARE(Failure::wrongCode(3).message(), u"Code incorrect : il vous reste 3 essais."_s);
        QCOMPARE(Failure::wrongCode(1).message(), u"Code incorrect : il vous reste un essai."_s);
        QCOMPARE(Failure::wrongCode(0).message(), u"Code incorrect. Demandez un nouveau code."_s);
        QCOMPARE(Failure::tooManyCodes(3600).message(),
                 u"Trop de codes demandés. Réessayez dans 1 heure."_s);
    }

    // Which failures send the user to the welcome window or to Pro.
    void dictationFailureWindows() {
        using D = DictationFailure;
        const std::tuple<D, bool, bool> rows[] = {
            {D::relay(Failure::quotaReached(monday)), false, true},
            {D::relay(Failure::signedOut()), true, false},
            {D::microphoneDenied(), true, false},
            {D::microphoneNotDetermined(), true, false},
            {D::accessibilityMissing(), true, false},
            {D::relay(Failure::offline()), false, false},
            {D::noSound(), false, false},
            {D::noSpeech(), false, false},
            {D::recordingFailed(), false, false},
            {D::insertionFailed(), false, false},
        };
        for (const auto& [failure, welcome, pro] : rows) {
            QVERIFY2(failure.opensWelcome() == welcome, qPrintable(failure.caseText()));
            QVERIFY2(failure.opensPro() == pro, qPrintable(failure.caseText()));
        }
    }

    // Sign-in first, then the microphone, then accessibility: the first missing
    // piece is the one the user is asked to fix.
    void blockerOrder() {
        for (const Microphone microphone :
             {Microphone::granted, Microphone::notDetermined, Microphone::denied})
            for (const bool accessibility : {false, true})
                QCOMPARE(Readiness({false, microphone, accessibility}).check(),
                         DictationFailure::relay(RelayFailure::signedOut()));
        QCOMPARE(Readiness({true, Microphone::notDetermined, false}).check(),
                 DictationFailure::microphoneNotDetermined());
        QCOMPARE(Readiness({true, Microphone::denied, false}).check(),
                 DictationFailure::microphoneDenied());
        QCOMPARE(Readiness({true, Microphone::granted, false}).check(),
                 DictationFailure::accessibilityMissing());
        QVERIFY(Readiness({true, Microphone::granted, true}).check().ok());
    }

    // What goes on the wire.

    // The two sign-in exchanges carry no token; every other one does. The
    // exchanges the command-line session and the session controller make
    // against the local relay are left to them: a wrong method, route or
    // body is refused there.
    void everyExchangeSendsItsPathAndBody_data() {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("code request with a referral")
            << int(codeRequest) << u"/api/connexion/code"_s
            << QByteArray(R"({"email":"lea@example.fr","parrainage":"K7M2QX"})");
        QTest::newRow("code check with a referral")
            << int(signIn) << u"/api/connexion/verifier"_s
            << QByteArray(R"({"code":"123456","email":"lea@example.fr","parrainage":"K7M2QX"})");
        QTest::newRow("yearly checkout") << int(checkout) << u"/api/abonnement/paiement"_s
                                         << QByteArray(R"({"periode":"annuel"})");
        QTest::newRow("portal: the empty object")
            << int(portal) << u"/api/abonnement/portail"_s << QByteArray("{}");
        // An upload's body column is the language code its form carries.
        QTest::newRow("French dictation") << int(dictation) << u"/api/dicter"_s << QByteArray("fr");
        QTest::newRow("automatic dictation: no language field")
            << int(automaticDictation) << u"/api/dicter"_s << QByteArray();
    }
    void everyExchangeSendsItsPathAndBody() {
        QFETCH(int, exchange);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        (void)exchanges[exchange](client);

        const RelayTransport::Request& request = transport->last();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.url.toString(), QStringLiteral("https://relais.example:8443") + path);
        QCOMPARE(request.header("accept"), QByteArray("application/json"));
        if (exchange >= dictation) {
            // Each upload draws a boundary of its own.
            const QByteArray b = boundaryOf(request);
            static QByteArray previous;
            QVERIFY(!b.isEmpty() && b != std::exchange(previous, b));
            // The helper spells the form out byte for byte, as the relay tests send it.
            QCOMPARE(request.body.value_or("(none)"),
                     RelayProcess::dictationBody(b, audio, QString::fromLatin1(body)));
        } else {
            QCOMPARE(request.body, std::optional(body));
            QCOMPARE(request.header("content-type"), QByteArray("application/json"));
        }
        const bool signingIn = exchange < signOut;
        QCOMPARE(headerNames(request),
                 (signingIn ? QList<QByteArray>{"accept", "content-type"}
                            : QList<QByteArray>{"accept", "authorization", "content-type"}));
        if (!signingIn)
            QCOMPARE(request.header("authorization"), QByteArray("Bearer jeton-de-test"));
    }

    // Answers with the right status but a body or status the exchange cannot use.
    // (Plain strings: moc loses its way in raw ones here.)
    void unusableAnswersAreUnexpected() {
        const std::tuple<int, QByteArray, Exchange> rows[] = {
            {200, "{}", signOut},
            {200, "{}", deletion},
            {204, "", account},
            {200, "\x89PNG\r\n", account},
            {200, "{\"jeton\":\"t\",\"compte\":{}}", signIn},
            {200, "{\"url\":\"http://127.0.0.1/paiement/x\"}", portal},
            {200, "{\"url\":\"https:///portail\"}", portal},
            {200, "<html>", dictation},
            {200,
             "{\"texte\":\"a\",\"mots\":1,\"semaine\":{\"mots\":1,\"reinitialisation\":\"2026-01-"
             "05\"}}",
             dictation},
        };
        for (const auto& [status, body, exchange] : rows) {
            transport->queue(RecordingTransport::answer(status, body));
            QCOMPARE(exchanges[exchange](client),
                     Outcome(RelayFailure::unexpectedResponse(status)));
        }
    }

    void aTokenCannotSplitTheAuthorizationHeader() {
        core::waitFor(client.account(QStringLiteral("abc\r\nX-Injecte: 1")));
        QCOMPARE(transport->last().header("authorization"), QByteArray("Bearer abcX-Injecte: 1"));
    }

    // Over the network.
    void headersAndRedirectsReachTheMapping() {
        PARLOVA_REQUIRE_RIG();
        QVERIFY2(relayStarted(), qPrintable(relay->errorString()));
        const QString code = routePath(Route::requestCode);
        script(code, 429, R"({"erreur":"trop-de-codes"})", u"  120 "_s);
        QCOMPARE(core::waitFor(networkClient().requestCode(email, std::nullopt)).error(),
                 RelayFailure::tooManyCodes(120));
        // A redirect is an answer of its own, never followed with the token.
        script(routePath(Route::account), 301, "");
        QCOMPARE(failureOf(networkClient().account(relayToken)),
                 RelayFailure::unexpectedResponse(301));
    }

    // Time-outs and dropped connections: tst_dictationfaults.
    void aRefusedConnectionIsOffline() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        const RelayClient refused(QUrl(u"https://127.0.0.1:%1"_s.arg(port)),
                                  NetworkTransport::standard());
        QCOMPARE(failureOf(refused.account(token)), RelayFailure::offline());
    }

    // No route at all: the test runs itself again in a network namespace of
    // its own, where even the loopback interface is down.
    void anUnreachableNetworkIsOffline() {
        if (qEnvironmentVariableIsSet(noRouteVariable)) {
            for (const char* origin : {"https://192.0.2.1", "https://127.0.0.1:8443"}) {
                const RelayClient nowhere(QUrl(QString::fromLatin1(origin)),
                                          NetworkTransport::standard());
                QCOMPARE(failureOf(nowhere.account(u"jeton"_s)), RelayFailure::offline());
            }
            return;
        }
        PARLOVA_REQUIRE_RIG();
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
        PARLOVA_REQUIRE_RIG();
        QVERIFY2(relayStarted(), qPrintable(relay->errorString()));
        // Without the authority, the system store alone decides: refused. (A
        // transport of its own, so that no trusted connection is reused.)
        const RelayClient systemOnly(relay->origin(), std::make_shared<NetworkTransport>());
        QCOMPARE(failureOf(systemOnly.account(relayToken)), RelayFailure::unavailable());
    }

    // A blank transcript as no speech: tst_commandlinetool.
    void dictationsAreTrimmed() {
        transport->queue(RecordingTransport::answer(
            200, R"({"texte":"  Bonjour à tous.\n ","mots":7,"semaine":{"mots":40,"plafond":2000,)"
                 R"("reste":1960,"reinitialisation":"2026-01-05T00:00:00.250Z"}})"));
        const auto dictation =
            core::waitFor(client.dictate(audio, token, DictationLanguage::automatic));
        QVERIFY(dictation.ok());
        QCOMPARE(dictation->text, u"Bonjour à tous."_s);
    }
};

QTEST_GUILESS_MAIN(RelayClientTest)
#include "tst_relayclient.moc"
