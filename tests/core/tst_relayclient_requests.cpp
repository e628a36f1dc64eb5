// What goes on the wire: method, address, headers and body bytes of every
// relay exchange, recorded by a transport that never touches the network.

#include "RecordingTransport.h"
#include "RelayProcess.h"
#include "core/Await.h"
#include "core/relayclient/RelayClient.h"

#include <QTest>

using namespace parlova;
using namespace parlova::core;
using namespace Qt::StringLiterals;
using parlova::test::RecordingTransport;
using parlova::test::RelayProcess;

namespace {

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

// Every exchange, the dictation last, in the order of the names below; the
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
};
enum Exchange { codeRequest, signIn, signOut, account, deletion, checkout, portal, dictation };

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

} // namespace

class RelayClientRequestsTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<RecordingTransport> transport = RecordingTransport::make();
    // With a trailing slash that the routes must not double.
    RelayClient client{QUrl(QStringLiteral("https://relais.example:8443/")), transport};

private Q_SLOTS:
    void init() { transport->requests.clear(); }

    void dictationBodyIsTheMultipartFormByteForByte_data() {
        QTest::addColumn<DictationLanguage>("language");
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("automatic: no language part")
            << DictationLanguage::automatic << QByteArray();
        QTest::newRow("French") << DictationLanguage::french << QByteArray("fr");
    }
    void dictationBodyIsTheMultipartFormByteForByte() {
        QFETCH(DictationLanguage, language);
        QFETCH(QByteArray, code);
        transport->queue(RecordingTransport::answer(500));
        core::waitFor(client.dictate(audio, token, language));

        QCOMPARE(transport->requests.size(), 1);
        const RelayTransport::Request& request = transport->last();
        const QByteArray b = boundaryOf(request);
        // Each upload draws a boundary of its own.
        static QByteArray previous;
        QVERIFY(!b.isEmpty() && b != std::exchange(previous, b));
        // The helper spells the form out byte for byte, as the relay tests send it.
        QCOMPARE(request.body.value_or("(none)"),
                 RelayProcess::dictationBody(b, audio, QString::fromLatin1(code)));
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.url, QUrl(QStringLiteral("https://relais.example:8443/api/dicter")));
        QCOMPARE(headerNames(request),
                 (QList<QByteArray>{"accept", "authorization", "content-type"}));
        QCOMPARE(request.header("Accept"), QByteArray("application/json"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer jeton-de-test"));
    }

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
    }
    void everyExchangeSendsItsPathAndBody() {
        QFETCH(int, exchange);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        (void)exchanges[exchange](client);

        const RelayTransport::Request& request = transport->last();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.url.toString(), QStringLiteral("https://relais.example:8443") + path);
        QCOMPARE(request.body, std::optional(body));
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
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
};

QTEST_GUILESS_MAIN(RelayClientRequestsTest)
#include "tst_relayclient_requests.moc"
