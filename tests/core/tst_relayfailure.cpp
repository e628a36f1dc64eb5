#include "core/DictationFailure.h"
#include "core/RelayFailure.h"

#include <QTest>
#include <QTimeZone>

using namespace parlova::core;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(parlova::core::RelayFailure)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QDateTime monday = QDateTime(QDate(2026, 1, 5), QTime(0, 0), Qt::UTC);

} // namespace

class TestRelayFailure : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusTable_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<QString>>("retryAfter");
        QTest::addColumn<RelayFailure>("expected");

        const auto row = [&](const char* name, int status, const char* body,
                             const RelayFailure& expected, std::optional<QString> header = {}) {
            QTest::newRow(name) << status << QByteArray(body) << header << expected;
        };
        row("400 email", 400, R"({"erreur":"email"})", RelayFailure::invalidEmail());
        row("400 referral", 400, R"({"erreur":"parrainage"})", RelayFailure::unknownReferral());
        row("400 wrong code", 400, R"({"erreur":"code-faux","essaisRestants":2})",
            RelayFailure::wrongCode(2));
        row("400 wrong code, count clamped", 400, R"({"erreur":"code-faux","essaisRestants":-3})",
            RelayFailure::wrongCode(0));
        row("400 wrong code without count", 400, R"({"erreur":"code-faux"})",
            RelayFailure::unexpectedResponse(400));
        row("400 wrong code, count a string", 400, R"({"erreur":"code-faux","essaisRestants":"2"})",
            RelayFailure::unexpectedResponse(400));
        row("400 wrong code, fractional count", 400,
            R"({"erreur":"code-faux","essaisRestants":1.5})",
            RelayFailure::unexpectedResponse(400));
        row("400 expired", 400, R"({"erreur":"code-expire"})", RelayFailure::codeExpired());
        row("400 code in capitals", 400, R"({"erreur":"EMAIL"})",
            RelayFailure::unexpectedResponse(400));
        row("400 no body", 400, "", RelayFailure::unexpectedResponse(400));
        row("401 html", 401, "<html>Unauthorized</html>", RelayFailure::signedOut());
        row("401 any code", 401, R"({"erreur":"quota"})", RelayFailure::signedOut());
        row("402 quota", 402, R"({"erreur":"quota","reinitialisation":"2026-01-05T00:00:00Z"})",
            RelayFailure::quotaReached(monday));
        row("402 quota, date with milliseconds", 402,
            R"({"erreur":"quota","reinitialisation":"2026-01-05T00:00:00.000Z"})",
            RelayFailure::quotaReached(monday));
        row("402 quota, bare date", 402, R"({"erreur":"quota","reinitialisation":"2026-01-05"})",
            RelayFailure::unexpectedResponse(402));
        row("402 other", 402, R"({"erreur":"carte"})", RelayFailure::unexpectedResponse(402));
        row("409 subscribed", 409, R"({"erreur":"deja-abonne"})",
            RelayFailure::alreadySubscribed());
        row("409 no subscription", 409, R"({"erreur":"sans-abonnement"})",
            RelayFailure::noSubscription());
        row("409 other", 409, R"({"erreur":"conflit"})", RelayFailure::unexpectedResponse(409));
        row("413", 413, "", RelayFailure::tooLarge());
        row("429 codes, wait in body", 429, R"({"erreur":"trop-de-codes","attente":90})",
            RelayFailure::tooManyCodes(90));
        row("429 attempts, wait in body", 429, R"({"erreur":"trop-d-essais","attente":600})",
            RelayFailure::tooManyAttempts(600));
        row("429 body wait wins over header", 429, R"({"erreur":"trop-de-codes","attente":90})",
            RelayFailure::tooManyCodes(90), u"120"_s);
        row("429 header with blanks", 429, R"({"erreur":"trop-de-codes"})",
            RelayFailure::tooManyCodes(120), u" \t120 "_s);
        row("429 header when body wait is not an integer", 429,
            R"({"erreur":"trop-d-essais","attente":"90"})", RelayFailure::tooManyAttempts(30),
            u"30"_s);
        row("429 wait passed unchanged", 429, R"({"erreur":"trop-de-codes","attente":-5})",
            RelayFailure::tooManyCodes(-5));
        row("429 no wait", 429, R"({"erreur":"trop-de-codes"})",
            RelayFailure::unexpectedResponse(429));
        row("429 header an HTTP date", 429, R"({"erreur":"trop-de-codes"})",
            RelayFailure::unexpectedResponse(429), u"Wed, 21 Oct 2026 07:28:00 GMT"_s);
        row("429 header with a line break", 429, R"({"erreur":"trop-de-codes"})",
            RelayFailure::unexpectedResponse(429), u"120\n"_s);
        row("429 header overflowing", 429, R"({"erreur":"trop-de-codes"})",
            RelayFailure::unexpectedResponse(429), u"99999999999999999999"_s);
        row("429 other code with a wait", 429, R"({"erreur":"lent","attente":5})",
            RelayFailure::unexpectedResponse(429));
        row("500 configuration", 500, R"({"erreur":"configuration"})",
            RelayFailure::misconfigured());
        row("500 other", 500, R"({"erreur":"panne"})", RelayFailure::unavailable());
        row("502 html", 502, "<html><h1>502 Bad Gateway</h1></html>", RelayFailure::unavailable());
        row("503 email", 503, R"({"erreur":"envoi"})", RelayFailure::emailNotSent());
        row("503 payment", 503, R"({"erreur":"paiement-indisponible"})",
            RelayFailure::paymentUnavailable());
        row("503 unknown", 503, R"({"erreur":"maintenance"})", RelayFailure::unavailable());
        row("504", 504, R"({"erreur":"envoi"})", RelayFailure::timedOut());
        row("418", 418, R"({"erreur":"email"})", RelayFailure::unexpectedResponse(418));
        row("200 where 204 was expected", 200, "", RelayFailure::unexpectedResponse(200));
        row("599", 599, "", RelayFailure::unavailable());
        row("truncated JSON", 400, R"({"erreur":"email")", RelayFailure::unexpectedResponse(400));
        row("code inside an array", 400, R"([{"erreur":"email"}])",
            RelayFailure::unexpectedResponse(400));
    }

    void statusTable() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(std::optional<QString>, retryAfter);
        QFETCH(RelayFailure, expected);
        const RelayFailure failure = RelayFailure::fromStatus(status, body, retryAfter);
        QCOMPARE(failure.caseText(), expected.caseText());
        QVERIFY(failure == expected);
    }

    void errorBodyFieldsAreIndependent() {
        using Details = RelayFailure::Details;
        const Details mixed = Details::fromBody(
            R"({"erreur":7,"attente":30,"essaisRestants":true,"reinitialisation":"lundi"})");
        QCOMPARE(mixed, (Details{std::nullopt, 30, std::nullopt, std::nullopt}));
        const Details full = Details::fromBody(
            R"({"erreur":"quota","attente":1,"essaisRestants":0,"reinitialisation":"2026-01-05T01:00:00+0100"})");
        QCOMPARE(full, (Details{u"quota"_s, 1, 0, monday}));
        QCOMPARE(Details::fromBody("not json"), Details{});
    }

    void networkErrors_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("timedOutFired");
        QTest::addColumn<int>("expected");

        using E = QNetworkReply;
        using K = RelayFailure::Kind;
        const auto row = [](const char* name, E::NetworkError error, bool fired, K kind) {
            QTest::newRow(name) << int(error) << fired << int(kind);
        };
        row("timeout", E::TimeoutError, false, K::timedOut);
        row("our time-out fired", E::OperationCanceledError, true, K::timedOut);
        row("cancelled", E::OperationCanceledError, false, K::unavailable);
        row("host not found", E::HostNotFoundError, false, K::offline);
        row("refused", E::ConnectionRefusedError, false, K::offline);
        row("connection lost", E::RemoteHostClosedError, false, K::offline);
        row("network down", E::TemporaryNetworkFailureError, false, K::offline);
        row("session failed", E::NetworkSessionFailedError, false, K::offline);
        row("real error wins over a late time-out", E::HostNotFoundError, true, K::offline);
        row("TLS", E::SslHandshakeFailedError, false, K::unavailable);
        row("redirect loop", E::TooManyRedirectsError, false, K::unavailable);
        row("unknown", E::UnknownNetworkError, false, K::unavailable);
        row("protocol", E::ProtocolFailure, false, K::unavailable);
    }

    void networkErrors() {
        QFETCH(int, error);
        QFETCH(bool, timedOutFired);
        QFETCH(int, expected);
        QCOMPARE(
            int(RelayFailure::fromNetworkError(QNetworkReply::NetworkError(error), timedOutFired)
                    .kind()),
            expected);
    }

    void caseTextCarriesLabelledValues() {
        QCOMPARE(RelayFailure::wrongCode(2).caseText(), u"wrongCode(attemptsLeft: 2)"_s);
        QCOMPARE(RelayFailure::tooManyCodes(90).caseText(), u"tooManyCodes(retryAfter: 90)"_s);
        QCOMPARE(RelayFailure::tooManyAttempts(5).caseText(), u"tooManyAttempts(retryAfter: 5)"_s);
        QCOMPARE(RelayFailure::unexpectedResponse(502).caseText(),
                 u"unexpectedResponse(status: 502)"_s);
        QCOMPARE(RelayFailure::offline().caseText(), u"offline"_s);
        // Written in UTC whatever zone the date came in.
        const QDateTime paris(QDate(2026, 1, 5), QTime(1, 0), QTimeZone("Europe/Paris"));
        QCOMPARE(RelayFailure::quotaReached(paris).caseText(),
                 u"quotaReached(resetsAt: 2026-01-05 00:00:00 +0000)"_s);
        QCOMPARE(DictationFailure::relay(RelayFailure::wrongCode(1)).caseText(),
                 u"relay(wrongCode(attemptsLeft: 1))"_s);
        QCOMPARE(DictationFailure::noSound().caseText(), u"noSound"_s);
    }

    void equalityComparesTheCarriedValue() {
        QVERIFY(RelayFailure::wrongCode(-1) == RelayFailure::wrongCode(0));
        QVERIFY(!(RelayFailure::wrongCode(1) == RelayFailure::wrongCode(2)));
        QVERIFY(!(RelayFailure::tooManyCodes(60) == RelayFailure::tooManyAttempts(60)));
        QVERIFY(!(RelayFailure::unexpectedResponse(400) == RelayFailure::unexpectedResponse(402)));
        QVERIFY(!(DictationFailure::relay(RelayFailure::offline()) ==
                  DictationFailure::relay(RelayFailure::timedOut())));
        QCOMPARE(RelayFailure::quotaReached(monday).resetsAt(), monday);
        QCOMPARE(RelayFailure::signedOut().status(), std::nullopt);
    }

    void delayRoundsUp_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("negative") << qint64(-90) << u"1 minute"_s;
        QTest::newRow("zero") << qint64(0) << u"1 minute"_s;
        QTest::newRow("1 s") << qint64(1) << u"1 minute"_s;
        QTest::newRow("60 s") << qint64(60) << u"1 minute"_s;
        QTest::newRow("61 s") << qint64(61) << u"2 minutes"_s;
        QTest::newRow("3540 s") << qint64(3540) << u"59 minutes"_s;
        QTest::newRow("3541 s") << qint64(3541) << u"1 heure"_s;
        QTest::newRow("3600 s") << qint64(3600) << u"1 heure"_s;
        QTest::newRow("3601 s") << qint64(3601) << u"2 heures"_s;
        QTest::newRow("7200 s") << qint64(7200) << u"2 heures"_s;
        QTest::newRow("largest") << std::numeric_limits<qint64>::max()
                                 << u"2562047788015216 heures"_s;
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << u"1 minute"_s;
    }

    void delayRoundsUp() {
        QFETCH(qint64, seconds);
        QFETCH(QString, expected);
        QCOMPARE(RelayFailure::delay(seconds), expected);
    }

    void messages() {
        QCOMPARE(RelayFailure::wrongCode(3).message(),
                 u"Code incorrect : il vous reste 3 essais."_s);
        QCOMPARE(RelayFailure::wrongCode(1).message(),
                 u"Code incorrect : il vous reste un essai."_s);
        QCOMPARE(RelayFailure::fromStatus(400, R"({"erreur":"code-faux","essaisRestants":-3})")
                     .message(),
                 u"Code incorrect. Demandez un nouveau code."_s);
        QCOMPARE(RelayFailure::tooManyAttempts(61).message(),
                 u"Trop d\u2019essais. Réessayez dans 2 minutes."_s);
        QCOMPARE(RelayFailure::tooManyCodes(3600).message(),
                 u"Trop de codes demandés. Réessayez dans 1 heure."_s);
        QCOMPARE(RelayFailure::quotaReached(monday).message(), u"Limite de la semaine atteinte."_s);
        QCOMPARE(RelayFailure::offline().message(), u"Pas de connexion Internet."_s);
        QCOMPARE(RelayFailure::emailNotSent().message(),
                 u"L\u2019e-mail n\u2019a pas pu partir. Réessayez dans un instant."_s);
    }

    void dictationFailureWindowsAndMessages() {
        const DictationFailure quota = DictationFailure::relay(RelayFailure::quotaReached(monday));
        QVERIFY(quota.opensPro());
        QVERIFY(!quota.opensWelcome());
        QCOMPARE(quota.message(), RelayFailure::quotaReached(monday).message());

        const DictationFailure signedOut = DictationFailure::relay(RelayFailure::signedOut());
        QVERIFY(signedOut.opensWelcome());
        QVERIFY(!signedOut.opensPro());

        for (const DictationFailure& failure :
             {DictationFailure::relay(RelayFailure::offline()),
              DictationFailure::relay(RelayFailure::wrongCode(0)), DictationFailure::noSound(),
              DictationFailure::noSpeech(), DictationFailure::recordingFailed(),
              DictationFailure::insertionFailed()}) {
            QVERIFY2(!failure.opensWelcome() && !failure.opensPro(),
                     qPrintable(failure.caseText()));
        }
        for (const DictationFailure& failure :
             {DictationFailure::microphoneDenied(), DictationFailure::microphoneNotDetermined(),
              DictationFailure::accessibilityMissing()}) {
            QVERIFY2(failure.opensWelcome() && !failure.opensPro(), qPrintable(failure.caseText()));
        }
        QVERIFY(DictationFailure::microphoneNotDetermined().message().contains(u"Parlova"_s));
        QCOMPARE(DictationFailure::insertionFailed().message(),
                 u"Le texte n\u2019a pas pu s\u2019écrire au curseur."_s);
    }
};

QTEST_GUILESS_MAIN(TestRelayFailure)
#include "tst_relayfailure.moc"
