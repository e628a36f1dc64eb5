// The sign-in form's model against scripted session actions.

#include "app/controllers/SignInModel.h"
#include "app/fake/FakeClock.h"
#include "app/fake/ScriptedSession.h"
#include "core/texts/Texts.h"

#include <QTest>

using namespace parlova;
using namespace parlova::app;
using namespace Qt::StringLiterals;
using Failure = core::RelayFailure;

namespace {

struct Form {
    ScriptedSession session;
    FakeClock clock;
    SignInModel model{session, clock};

    // On the code step, the code sent to "lea@example.fr".
    void reachCodeStep() {
        model.setEmail(u"lea@example.fr"_s);
        model.requestCode();
        session.calls.clear();
    }
};

} // namespace

class SignInModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void codeRequest_data() {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("referral");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("referralField");
        QTest::addColumn<bool>("codeStep");
        QTest::addColumn<std::optional<QString>>("error");

        QTest::newRow("referral in lower case with a hyphen, address in spaces")
            << u"  lea@example.fr "_s << u"abc-234"_s
            << QStringList{u"requestCode lea@example.fr ABC234"_s} << u"ABC234"_s << true
            << std::optional<QString>();
        QTest::newRow("referral of spaces only")
            << u"lea@example.fr"_s << u"   "_s << QStringList{u"requestCode lea@example.fr"_s}
            << QString() << true << std::optional<QString>();
        QTest::newRow("referral of five characters")
            << u"lea@example.fr"_s << u"ABC23"_s << QStringList{} << u"ABC23"_s << false
            << std::optional<QString>(core::Texts::referralInvalid());
    }
    void codeRequest() {
        QFETCH(QString, email);
        QFETCH(QString, referral);
        Form form;
        form.model.setEmail(email);
        form.model.setReferral(referral);
        form.model.requestCode();
        QTEST(form.session.calls, "calls");
        QTEST(form.model.referral(), "referralField");
        QTEST(form.model.step().isCode(), "codeStep");
        QTEST(form.model.error(), "error");
        QVERIFY(!form.model.isWorking());
    }

    // What is typed or pasted, edit after edit, and the checks it starts.
    void codeEntry_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("checks");

        const QString check = u"signIn lea@example.fr 123456"_s;
        QTest::newRow("spaced code pasted")
            << QStringList{u"123 456"_s} << u"123456"_s << QStringList{check};
        QTest::newRow("seventh digit")
            << QStringList{u"123456"_s, u"1234567"_s} << u"123456"_s << QStringList{check};
        QTest::newRow("same code pasted after a failed check")
            << QStringList{u"123456"_s, u" 123456"_s} << u"123456"_s << QStringList{check};
        QTest::newRow("one digit changed") << QStringList{u"123456"_s, u"123457"_s} << u"123457"_s
                                           << QStringList{check, u"signIn lea@example.fr 123457"_s};
    }
    void codeEntry() {
        QFETCH(QStringList, edits);
        Form form;
        form.reachCodeStep();
        form.session.failures = {Failure::wrongCode(2), Failure::wrongCode(1)};
        for (const QString& edit : edits)
            form.model.setCode(edit);
        QTEST(form.model.code(), "code");
        QTEST(form.session.calls, "checks");
        QCOMPARE(form.model.error(), std::optional<QString>(form.session.calls.size() == 1
                                                                ? Failure::wrongCode(2).message()
                                                                : Failure::wrongCode(1).message()));
    }

    void resendRestartsTheCountdown() {
        Form form;
        form.reachCodeStep();
        QCOMPARE(form.model.resendLabel(), u"Renvoyer le code (30 s)"_s);
        // The countdown on the button is in tst_screens.
        form.clock.advance(30.5);
        form.model.resend();
        QCOMPARE(form.session.calls, QStringList{u"requestCode lea@example.fr"_s});
        QCOMPARE(form.model.resendCountdown(), 30);
        QCOMPARE(form.model.notice(), std::optional<QString>(u"Code renvoyé à lea@example.fr."_s));
    }
};

QTEST_GUILESS_MAIN(SignInModelTest)
#include "tst_signinmodel.moc"
