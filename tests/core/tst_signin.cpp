#include "core/SignIn.h"

#include <QTest>

using namespace parlova::core;
using namespace Qt::StringLiterals;

namespace {

QByteArray answer(const char* referral, const char* account = nullptr) {
    static const char trial[] =
        R"({"email":"lea@exemple.fr","offre":"essai","proJusquAu":"2026-04-01T00:00:00Z",)"
        R"("semaine":{"mots":0,"reinitialisation":"2026-03-02T00:00:00Z"},)"
        R"("parrainage":{"code":"K7M2QX","lien":"https://parlova.fr/p/K7M2QX","amis":0,)"
        R"("amisValides":0,"moisGagnes":0},"tarifs":{"devise":"eur",)"
        R"("mensuel":{"centimes":1200},"annuel":{"centimes":12000,"centimesParMois":1000}}})";
    return QByteArray(R"({"jeton":"jeton-secret","compte":)") + (account ? account : trial) +
           (referral ? QByteArray(R"(,"parrainage":)") + referral : QByteArray()) + '}';
}

} // namespace

class TestSignIn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void referralOutcomeWordsAreExact() {
        for (const ReferralOutcome outcome :
             {ReferralOutcome::applied, ReferralOutcome::existingAccount, ReferralOutcome::refused})
            QCOMPARE(ReferralOutcome::fromRawValue(outcome.rawValue()), outcome);
        for (const char16_t* word : {u"Applique", u"appliqué", u"applique ", u""})
            QCOMPARE(ReferralOutcome::fromRawValue(word), std::nullopt);
        QCOMPARE(
            ReferralOutcome(ReferralOutcome::refused).notice(),
            u"Parrainage non appliqué : ce code ne peut pas s\u2019appliquer à votre compte."_s);
    }

    void answerToACodeCheck() {
        const std::pair<const char*, std::optional<ReferralOutcome>> rows[] = {
            {R"("applique")", ReferralOutcome::applied},
            {R"("compte-existant")", ReferralOutcome::existingAccount},
            {nullptr, std::nullopt},
            {"null", std::nullopt},
            {R"("double")", std::nullopt}, // an unknown word still signs in
            {"1", std::nullopt},
        };
        for (const auto& [referral, expected] : rows) {
            const Decoded<SignIn> signIn = SignIn::fromJson(answer(referral));
            QVERIFY2(signIn, signIn ? "" : qPrintable(signIn.error().text()));
            QCOMPARE(signIn->token, u"jeton-secret"_s);
            QCOMPARE(signIn->account.offer.kind(), Account::Offer::Kind::trial);
            QCOMPARE(signIn->referral, expected);
        }
    }

    void incompleteAccountGivesNoToken() {
        QCOMPARE(SignIn::fromJson(answer(nullptr, R"({"email":"lea@exemple.fr"})")).error().path,
                 u"compte.semaine"_s);
        QCOMPARE(SignIn::fromJson(answer(nullptr, "null")).error().path, u"compte"_s);
        QCOMPARE(SignIn::fromJson(R"({"compte":{}})").error().path, u"jeton"_s);
    }
};

QTEST_GUILESS_MAIN(TestSignIn)
#include "tst_signin.moc"
