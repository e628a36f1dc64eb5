#include "core/domain/DictationFailure.h"
#include "core/domain/Readiness.h"
#include "core/domain/RelayFailure.h"

#include <QTest>
#include <QTimeZone>

using namespace parlova::core;
using namespace Qt::StringLiterals;
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

} // namespace

class TestRelayFailure : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
            {301, "", nullptr, Failure::unexpectedResponse(301)},
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
};

QTEST_GUILESS_MAIN(TestRelayFailure)
#include "tst_relayfailure.moc"
