#include "core/SignIn.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace parlova::core;
using namespace Qt::StringLiterals;

namespace {

QJsonObject account() {
    return QJsonObject{
        {"email", "lea@exemple.fr"},
        {"offre", "essai"},
        {"proJusquAu", "2026-04-01T00:00:00Z"},
        {"semaine", QJsonObject{{"mots", 0}, {"reinitialisation", "2026-03-02T00:00:00Z"}}},
        {"parrainage", QJsonObject{{"code", "K7M2QX"},
                                   {"lien", "https://parlova.fr/p/K7M2QX"},
                                   {"amis", 0},
                                   {"amisValides", 0},
                                   {"moisGagnes", 0}}},
        {"tarifs",
         QJsonObject{{"devise", "eur"},
                     {"mensuel", QJsonObject{{"centimes", 1200}}},
                     {"annuel", QJsonObject{{"centimes", 12000}, {"centimesParMois", 1000}}}}},
    };
}

QByteArray answer(const QJsonValue& referral, const QJsonValue& compte = account()) {
    QJsonObject object{{"jeton", "jeton-secret"}, {"compte", compte}};
    if (!referral.isUndefined())
        object.insert("parrainage", referral);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class TestSignIn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void referralOutcomeWords() {
        const ReferralOutcome all[] = {ReferralOutcome::applied, ReferralOutcome::existingAccount,
                                       ReferralOutcome::refused};
        for (const ReferralOutcome outcome : all)
            QCOMPARE(ReferralOutcome::fromRawValue(outcome.rawValue()), outcome);
        QCOMPARE(ReferralOutcome(ReferralOutcome::existingAccount).rawValue(),
                 u"compte-existant"_s);
        for (const char16_t* word : {u"Applique", u"appliqué", u"applique ", u""})
            QCOMPARE(ReferralOutcome::fromRawValue(word), std::nullopt);
    }

    void notices() {
        QCOMPARE(ReferralOutcome(ReferralOutcome::applied).notice(),
                 u"Parrainage appliqué : un mois de Pro offert."_s);
        QCOMPARE(
            ReferralOutcome(ReferralOutcome::refused).notice(),
            u"Parrainage non appliqué : ce code ne peut pas s\u2019appliquer à votre compte."_s);
    }

    void answerToACodeCheck_data() {
        QTest::addColumn<QJsonValue>("referral");
        QTest::addColumn<int>("expected"); // -1: none
        QTest::newRow("applied") << QJsonValue(u"applique"_s) << int(ReferralOutcome::applied);
        QTest::newRow("refused") << QJsonValue(u"refuse"_s) << int(ReferralOutcome::refused);
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << -1;
        QTest::newRow("null") << QJsonValue(QJsonValue::Null) << -1;
        QTest::newRow("unknown word") << QJsonValue(u"double"_s) << -1;
        QTest::newRow("not a string") << QJsonValue(1) << -1;
    }

    void answerToACodeCheck() {
        QFETCH(QJsonValue, referral);
        QFETCH(int, expected);
        const Decoded<SignIn> signIn = SignIn::fromJson(answer(referral));
        QVERIFY(signIn);
        QCOMPARE(signIn->token, u"jeton-secret"_s);
        QCOMPARE(signIn->account.offer.kind(), Account::Offer::Kind::trial);
        QCOMPARE(signIn->referral ? int(signIn->referral->value()) : -1, expected);
    }

    void incompleteAccountGivesNoToken() {
        QJsonObject broken = account();
        broken.remove("tarifs");
        const Decoded<SignIn> signIn = SignIn::fromJson(answer(u"applique"_s, broken));
        QVERIFY(!signIn);
        QCOMPARE(signIn.error().path, u"compte.tarifs"_s);
        QCOMPARE(SignIn::fromJson(answer(u"applique"_s, QJsonValue::Null)).error().path,
                 u"compte"_s);
        QVERIFY(!SignIn::fromJson(R"({"compte":{}})"));
    }
};

QTEST_GUILESS_MAIN(TestSignIn)
#include "tst_signin.moc"
