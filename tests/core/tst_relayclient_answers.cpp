// How the client reads what comes back: exact statuses, decoding, trimming,
// the payment address test and the transport's own failures.

#include "RecordingTransport.h"
#include "core/RelayClient.h"

#include <QTest>

using namespace parlova;
using namespace parlova::core;
using parlova::test::RecordingTransport;
using parlova::test::settle;

namespace {

const QString token = QStringLiteral("jeton");

QByteArray freeAccount() {
    return "{\"email\":\"lea@example.fr\",\"offre\":\"gratuit\",\"proJusquAu\":null,"
           "\"abonnement\":null,\"semaine\":{\"mots\":12,\"plafond\":2000,\"reste\":1988,"
           "\"reinitialisation\":\"2026-01-05T00:00:00Z\"},\"parrainage\":{\"code\":\"K7M2QX\","
           "\"lien\":\"https://relais.example/r/K7M2QX\",\"amis\":0,\"amisValides\":0,"
           "\"moisGagnes\":0},\"tarifs\":{\"devise\":\"eur\",\"mensuel\":{\"centimes\":1200},"
           "\"annuel\":{\"centimes\":12000,\"centimesParMois\":1000}}}";
}

QByteArray dictationAnswer(const QByteArray& text, const QByteArray& date) {
    return "{\"texte\":\"" + text +
           "\",\"mots\":3,\"semaine\":{\"mots\":15,\"plafond\":2000,\"reste\":1985,"
           "\"reinitialisation\":\"" +
           date + "\"}}";
}

} // namespace

class RelayClientAnswersTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<RecordingTransport> transport = RecordingTransport::make();
    RelayClient client{QUrl(QStringLiteral("https://relais.example")), transport};

    void answer(int status, const QByteArray& body = {},
                QList<RelayTransport::Header> headers = {}) {
        transport->queue(RecordingTransport::answer(status, body, std::move(headers)));
    }

private Q_SLOTS:
    void init() { transport->answers.clear(); }

    void onlyTheExactStatusSucceeds() {
        answer(200);
        QCOMPARE(settle(client.signOut(token)).failure(), RelayFailure::unexpectedResponse(200));
        answer(200);
        QCOMPARE(settle(client.deleteAccount(token)).failure(),
                 RelayFailure::unexpectedResponse(200));
        answer(204);
        QCOMPARE(settle(client.account(token)).failure(), RelayFailure::unexpectedResponse(204));
        answer(204);
        QVERIFY(settle(client.signOut(token)).ok());
        answer(200, "ce corps est ignoré");
        QVERIFY(settle(client.requestCode(QStringLiteral("a@b.fr"), std::nullopt)).ok());
    }

    void refusalsGoThroughTheStatusMapping() {
        answer(429, R"({"erreur":"trop-de-codes"})", {{"retry-after", "  120 "}});
        QCOMPARE(settle(client.requestCode(QStringLiteral("a@b.fr"), std::nullopt)).failure(),
                 RelayFailure::tooManyCodes(120));
        answer(401, "<html>");
        QCOMPARE(settle(client.dictate("son", token, DictationLanguage::french)).failure(),
                 DictationFailure::relay(RelayFailure::signedOut()));
    }

    void transportFailuresAndNonHttpAnswersPassThrough() {
        transport->queue(RelayFailure::offline());
        QCOMPARE(settle(client.account(token)).failure(), RelayFailure::offline());
        transport->queue(RelayTransport::Response{std::nullopt, "{}", {}});
        QCOMPARE(settle(client.account(token)).failure(), RelayFailure::unexpectedResponse(0));
    }

    void theAccountIsTheWholeBody() {
        answer(200, freeAccount());
        const RelayResult<Account> account = settle(client.account(token));
        QVERIFY(account.ok());
        QCOMPARE(account->email, QStringLiteral("lea@example.fr"));
        QCOMPARE(account->week.remaining, 1988);
    }

    void dictationTextIsTrimmedAndAnEmptyOneIsNoSpeech() {
        answer(200, dictationAnswer(R"(  Bonjour à tous.\n )", "2026-01-05T00:00:00.250Z"));
        const auto dictation = settle(client.dictate("son", token, DictationLanguage::automatic));
        QVERIFY(dictation.ok());
        QCOMPARE(dictation->text, QStringLiteral("Bonjour à tous."));
        QCOMPARE(dictation->words, 3);
        QCOMPARE(dictation->week.remaining, 1985);
        QCOMPARE(dictation->week.resetsAt,
                 QDateTime(QDate(2026, 1, 5), QTime(0, 0, 0, 250), Qt::UTC));

        answer(200, dictationAnswer(R"(   \n)", "2026-01-05T00:00:00Z"));
        QCOMPARE(settle(client.dictate("son", token, DictationLanguage::automatic)).failure(),
                 DictationFailure::noSpeech());
    }

    void anUnreadableAnswerIsUnexpected_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("bare date") << dictationAnswer("Bonjour", "2026-01-05");
        QTest::newRow("garbage") << QByteArray("\x89PNG\r\n");
        QTest::newRow("missing week") << QByteArray(R"({"texte":"Bonjour","mots":1})");
        QTest::newRow("words as text") << dictationAnswer("Bonjour", "2026-01-05T00:00:00Z")
                                              .replace("\"mots\":3", "\"mots\":\"3\"");
    }
    void anUnreadableAnswerIsUnexpected() {
        QFETCH(QByteArray, body);
        answer(200, body);
        QCOMPARE(settle(client.dictate("son", token, DictationLanguage::automatic)).failure(),
                 DictationFailure::relay(RelayFailure::unexpectedResponse(200)));
    }

    void signInNeedsAWholeAccount() {
        answer(200, R"({"jeton":"t-1","compte":)" + freeAccount() + R"(,"parrainage":"inconnu"})");
        const RelayResult<SignIn> signIn =
            settle(client.signIn(QStringLiteral("a@b.fr"), QStringLiteral("123456"), std::nullopt));
        QVERIFY(signIn.ok());
        QCOMPARE(signIn->token, QStringLiteral("t-1"));
        QCOMPARE(signIn->referral, std::nullopt);

        answer(200, R"({"jeton":"t-2","compte":)" +
                        freeAccount().replace("\"email\"", "\"courriel\"") +
                        R"(,"parrainage":"applique"})");
        QCOMPARE(
            settle(client.signIn(QStringLiteral("a@b.fr"), QStringLiteral("123456"), std::nullopt))
                .failure(),
            RelayFailure::unexpectedResponse(200));
    }

    void onlyASecureWebPageIsAPaymentPage_data() {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << QByteArray("https://relais.example/paiement/ab12") << true;
        QTest::newRow("HTTPS in capitals") << QByteArray("HTTPS://relais.example/p") << true;
        QTest::newRow("http") << QByteArray("http://relais.example/paiement/ab12") << false;
        QTest::newRow("no host") << QByteArray("https:///paiement") << false;
        QTest::newRow("relative") << QByteArray("/paiement/ab12") << false;
        QTest::newRow("javascript") << QByteArray("javascript:alert(1)") << false;
    }
    void onlyASecureWebPageIsAPaymentPage() {
        QFETCH(QByteArray, url);
        QFETCH(bool, accepted);
        answer(200, R"({"url":")" + url + R"("})");
        const RelayResult<QUrl> page = settle(client.paymentPage(PaymentPage::portal(), token));
        if (accepted)
            QCOMPARE(page.value(), QUrl(QString::fromLatin1(url)));
        else
            QCOMPARE(page.failure(), RelayFailure::unexpectedResponse(200));
    }
};

QTEST_GUILESS_MAIN(RelayClientAnswersTest)
#include "tst_relayclient_answers.moc"
