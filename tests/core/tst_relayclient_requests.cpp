// What goes on the wire: method, address, headers and body bytes of every
// relay exchange, recorded by a transport that never touches the network.

#include "RecordingTransport.h"
#include "core/RelayClient.h"

#include <QRegularExpression>
#include <QTest>

using namespace parlova;
using namespace parlova::core;
using parlova::test::RecordingTransport;
using parlova::test::settle;

namespace {

const QString token = QStringLiteral("jeton-de-test");
const QByteArray audio("\x00\x00\x00\x1c"
                       "ftypM4A \r\n--fin\xff",
                       20);

QList<QByteArray> headerNames(const RelayTransport::Request& request) {
    QList<QByteArray> names;
    for (const RelayTransport::Header& header : request.headers)
        names.append(header.first.toLower());
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray multipart(const QByteArray& boundary, const std::optional<QByteArray>& language) {
    QByteArray body =
        "--" + boundary + "\r\n" +
        "Content-Disposition: form-data; name=\"audio\"; filename=\"dictee.m4a\"\r\n" +
        "Content-Type: audio/mp4\r\n\r\n" + audio + "\r\n";
    if (language)
        body += "--" + boundary + "\r\n" +
                "Content-Disposition: form-data; name=\"langue\"\r\n\r\n" + *language + "\r\n";
    return body + "--" + boundary + "--\r\n";
}

} // namespace

class RelayClientRequestsTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<RecordingTransport> transport = RecordingTransport::make();
    RelayClient client{QUrl(QStringLiteral("https://relais.example:8443")), transport};

    // The boundary announced in the Content-Type of a recorded upload.
    static QByteArray boundaryOf(const RelayTransport::Request& request) {
        const QByteArray type = request.header("content-type").value_or(QByteArray());
        const QByteArray prefix = "multipart/form-data; boundary=";
        return type.startsWith(prefix) ? type.mid(prefix.size()) : QByteArray();
    }

private Q_SLOTS:
    void init() { transport->requests.clear(); }

    void dictationBodyIsTheMultipartFormByteForByte_data() {
        QTest::addColumn<DictationLanguage>("language");
        QTest::addColumn<std::optional<QByteArray>>("code");
        QTest::newRow("automatic: no language part")
            << DictationLanguage::automatic << std::optional<QByteArray>();
        QTest::newRow("French") << DictationLanguage::french << std::optional<QByteArray>("fr");
        QTest::newRow("Brazilian Portuguese is sent as pt")
            << DictationLanguage::brazilianPortuguese << std::optional<QByteArray>("pt");
    }
    void dictationBodyIsTheMultipartFormByteForByte() {
        QFETCH(DictationLanguage, language);
        QFETCH(std::optional<QByteArray>, code);
        transport->queue(RecordingTransport::answer(500));
        settle(client.dictate(audio, token, language));

        QCOMPARE(transport->requests.size(), 1);
        const RelayTransport::Request& request = transport->last();
        const QByteArray boundary = boundaryOf(request);
        QVERIFY2(
            QRegularExpression(
                QStringLiteral("^parlova-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
                               "[0-9A-F]{12}$"))
                .match(QString::fromLatin1(boundary))
                .hasMatch(),
            boundary.constData());
        QCOMPARE(request.body.value_or("(none)"), multipart(boundary, code));
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.url, QUrl(QStringLiteral("https://relais.example:8443/api/dicter")));
        QCOMPARE(request.timeout, std::chrono::milliseconds(45000));
        QCOMPARE(headerNames(request),
                 (QList<QByteArray>{"accept", "authorization", "content-type"}));
        QCOMPARE(request.header("Accept"), QByteArray("application/json"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer jeton-de-test"));
    }

    void twoUploadsUseTwoBoundaries() {
        settle(client.dictate(audio, token, DictationLanguage::french));
        settle(client.dictate(audio, token, DictationLanguage::french));
        QCOMPARE(transport->requests.size(), 2);
        const QByteArray first = boundaryOf(transport->requests.at(0));
        const QByteArray second = boundaryOf(transport->requests.at(1));
        QVERIFY(!first.isEmpty());
        QVERIFY(first != second);
        QVERIFY(transport->requests.at(1).body->startsWith("--" + second + "\r\n"));
    }

    void signInExchangesSendTheirKeysAndNoToken_data() {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("path");
        QTest::newRow("code request: the single key email")
            << 0 << QByteArray(R"({"email":"lea@example.fr"})") << "/api/connexion/code";
        QTest::newRow("code request with a referral")
            << 1 << QByteArray(R"({"email":"lea@example.fr","parrainage":"K7M2QX"})")
            << "/api/connexion/code";
        QTest::newRow("code check")
            << 2 << QByteArray(R"({"code":"123456","email":"lea@example.fr"})")
            << "/api/connexion/verifier";
        QTest::newRow("code check with a referral")
            << 3
            << QByteArray(R"({"code":"123456","email":"lea@example.fr","parrainage":"K7M2QX"})")
            << "/api/connexion/verifier";
    }
    void signInExchangesSendTheirKeysAndNoToken() {
        QFETCH(int, exchange);
        QFETCH(QByteArray, body);
        QFETCH(QString, path);
        const QString email = QStringLiteral("lea@example.fr");
        const std::optional<QString> referral =
            exchange % 2 ? std::optional<QString>(QStringLiteral("K7M2QX")) : std::nullopt;
        if (exchange < 2)
            settle(client.requestCode(email, referral));
        else
            settle(client.signIn(email, QStringLiteral("123456"), referral));

        const RelayTransport::Request& request = transport->last();
        QCOMPARE(request.body, body);
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.url.toString(), QStringLiteral("https://relais.example:8443") + path);
        QCOMPARE(request.timeout, std::chrono::milliseconds(20000));
        QCOMPARE(headerNames(request), (QList<QByteArray>{"accept", "content-type"}));
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
    }

    void sessionExchangesCarryTheTokenAndTheirBody_data() {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<std::optional<QByteArray>>("body");
        using Body = std::optional<QByteArray>;
        QTest::newRow("sign-out") << 0 << QByteArray("POST") << "/api/deconnexion" << Body();
        QTest::newRow("account") << 1 << QByteArray("GET") << "/api/compte" << Body();
        QTest::newRow("deletion") << 2 << QByteArray("DELETE") << "/api/compte" << Body();
        QTest::newRow("monthly checkout") << 3 << QByteArray("POST") << "/api/abonnement/paiement"
                                          << Body(R"({"periode":"mensuel"})");
        QTest::newRow("yearly checkout") << 4 << QByteArray("POST") << "/api/abonnement/paiement"
                                         << Body(R"({"periode":"annuel"})");
        QTest::newRow("portal: the empty object")
            << 5 << QByteArray("POST") << "/api/abonnement/portail" << Body("{}");
    }
    void sessionExchangesCarryTheTokenAndTheirBody() {
        QFETCH(int, exchange);
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(std::optional<QByteArray>, body);
        using Period = PaymentPage::Period;
        switch (exchange) {
        case 0:
            settle(client.signOut(token));
            break;
        case 1:
            settle(client.account(token));
            break;
        case 2:
            settle(client.deleteAccount(token));
            break;
        case 3:
            settle(client.paymentPage(PaymentPage::checkout(Period::monthly), token));
            break;
        case 4:
            settle(client.paymentPage(PaymentPage::checkout(Period::yearly), token));
            break;
        default:
            settle(client.paymentPage(PaymentPage::portal(), token));
        }

        const RelayTransport::Request& request = transport->last();
        QCOMPARE(request.method, method);
        QCOMPARE(request.url.toString(), QStringLiteral("https://relais.example:8443") + path);
        QCOMPARE(request.body, body);
        QCOMPARE(request.timeout, std::chrono::milliseconds(20000));
        QCOMPARE(request.header("authorization"), QByteArray("Bearer jeton-de-test"));
        QList<QByteArray> expected{"accept", "authorization"};
        if (body)
            expected.append("content-type");
        QCOMPARE(headerNames(request), expected);
    }

    void routesGoBelowTheOriginWithoutTrailingSlash() {
        const auto path = [](const char* origin) {
            return RelayClient(QUrl(QString::fromLatin1(origin)), RecordingTransport::make())
                .url(Route::checkout)
                .toString();
        };
        QCOMPARE(path("https://127.0.0.1:8443"),
                 QStringLiteral("https://127.0.0.1:8443/api/abonnement/paiement"));
        QCOMPARE(path("https://relais.example"),
                 QStringLiteral("https://relais.example/api/abonnement/paiement"));
        QCOMPARE(path("https://relais.example/"),
                 QStringLiteral("https://relais.example/api/abonnement/paiement"));
    }

    void aTokenCannotSplitTheAuthorizationHeader() {
        settle(client.account(QStringLiteral("abc\r\nX-Injecte: 1")));
        QCOMPARE(transport->last().header("authorization"), QByteArray("Bearer abcX-Injecte: 1"));
    }
};

QTEST_GUILESS_MAIN(RelayClientRequestsTest)
#include "tst_relayclient_requests.moc"
