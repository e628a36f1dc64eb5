#include "app/controllers/SignInModel.h"
#include "app/fake/FakeClock.h"
#include "app/fake/ScriptedSession.h"
#include "app/snapshot/SampleAccount.h"
#include "app/snapshot/SnapshotSettings.h"
#include "app/widgets/OfferBadge.h"
#include "app/widgets/PlanRow.h"
#include "app/windows/ProView.h"
#include "app/windows/ScreenWindow.h"
#include "app/windows/SettingsView.h"
#include "app/windows/SignInView.h"
#include "app/windows/WelcomeFlow.h"
#include "app/windows/WindowCoordinator.h"
#include "core/texts/Texts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace parlova::app;
using namespace Qt::StringLiterals;
using parlova::core::Account;
using parlova::core::PaymentPage;
using parlova::core::RelayFailure;
using parlova::core::Texts;
using Screen = WindowCoordinator::Screen;
using Source = parlova::platform::KeyMonitor::Source;


namespace {

// The screens over a fake session, a hand-driven clock and a private
// autostart folder.
struct Screens {
    QTemporaryDir autostart;
    FakeClock clock;
    StatusModel status;
    SnapshotSettings settings;
    ScriptedSession session;
    // Called as the browser opens a page, while the page is still opening.
    std::function<void()> whileOpening;
    WindowCoordinator windows{status, settings, session, clock, options()};

    WindowOptions options() {
        WindowOptions options;
        options.loginItem = LoginItem(autostart.path());
        options.browser = [this](const QUrl&) {
            if (whileOpening)
                whileOpening();
            return parlova::core::Done<ProModel::Error>(std::monostate{});
        };
        return options;
    }
    template <typename View>
    View* view(Screen screen) {
        auto* window = static_cast<ScreenWindow*>(windows.show(screen));
        return qobject_cast<View*>(window->content());
    }
    SignInView* signInView() { return view<WelcomeFlow>(Screen::welcome)->signInView(); }
    // The e-mail step done for lea@example.fr: the code step is on show.
    void codeSent() {
        windows.signIn().setEmail(u"lea@example.fr"_s);
        windows.signIn().requestCode();
        QVERIFY(windows.signIn().step().isCode());
        session.calls.clear();
    }
};

} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The sign-in form: its model, then its view.
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
            << std::optional<QString>(Texts::referralInvalid());
    }
    void codeRequest() {
        QFETCH(QString, email);
        QFETCH(QString, referral);
        Screens screens;
        SignInModel& form = screens.windows.signIn();
        form.setEmail(email);
        form.setReferral(referral);
        form.requestCode();
        QTEST(screens.session.calls, "calls");
        QTEST(form.referral(), "referralField");
        QTEST(form.step().isCode(), "codeStep");
        QTEST(form.error(), "error");
        QVERIFY(!form.isWorking());
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
        Screens screens;
        screens.codeSent();
        SignInModel& form = screens.windows.signIn();
        screens.session.failures = {RelayFailure::wrongCode(2), RelayFailure::wrongCode(1)};
        for (const QString& edit : edits)
            form.setCode(edit);
        QTEST(form.code(), "code");
        QTEST(screens.session.calls, "checks");
        QCOMPARE(form.error(), std::optional<QString>(screens.session.calls.size() == 1
                                                          ? RelayFailure::wrongCode(2).message()
                                                          : RelayFailure::wrongCode(1).message()));
    }

    void codePlaceholderShowsWithTheFocus() {
        Screens screens;
        screens.codeSent();
        QLineEdit* field = screens.signInView()->codeField();
        field->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(field->window()));
        field->setFocus();
        QVERIFY(field->text().isEmpty() && field->hasFocus());
        const QImage shown = field->grab().toImage();
        const QString placeholder = field->placeholderText();
        field->setPlaceholderText(QString());
        QVERIFY(field->grab().toImage() != shown);
        field->setPlaceholderText(placeholder);
    }

    // The countdown on the model and on its button, then a resend restarts it.
    void resendFollowsTheCountdown() {
        Screens screens;
        screens.codeSent();
        SignInModel& form = screens.windows.signIn();
        QPushButton* resend = screens.signInView()->resendButton();
        QCOMPARE(form.resendLabel(), u"Renvoyer le code (30 s)"_s);
        screens.clock.advance(29.2);
        QCOMPARE(resend->text(), Texts::resendIn(u"1"_s));
        QVERIFY(!resend->isEnabled());
        screens.clock.advance(0.8);
        QCOMPARE(resend->text(), Texts::resend());
        QVERIFY(resend->isEnabled());

        resend->click();
        QCOMPARE(screens.session.calls, QStringList{u"requestCode lea@example.fr"_s});
        QCOMPARE(form.resendCountdown(), 30);
        QCOMPARE(form.notice(), std::optional<QString>(u"Code renvoyé à lea@example.fr."_s));
    }

    void changingAddressClearsTheErrorAndFocusesTheAddress() {
        Screens screens;
        screens.codeSent();
        SignInView* view = screens.signInView();
        screens.session.failures = {RelayFailure::wrongCode(2)};
        screens.windows.signIn().setCode(u"123456"_s);
        QCOMPARE(view->errorText(), RelayFailure::wrongCode(2).message());

        view->changeEmailButton()->click();
        QVERIFY(!screens.windows.signIn().step().isCode());
        QVERIFY(!screens.windows.signIn().error());
        QCOMPARE(view->errorText(), QString());
        QCOMPARE(screens.windows.window(Screen::welcome)->focusWidget(), view->emailField());
    }

    void proScreenByOffer() {
        const QDateTime now = FakeClock().now();
        const std::pair<Account, ProView::Content> rows[] = {
            {SampleAccount::free(now), ProView::Content::planChoice},
            {SampleAccount::trial(now), ProView::Content::planChoice},
            {SampleAccount::subscriber(now), ProView::Content::summary},
        };
        for (const auto& [account, content] : rows) {
            Screens screens;
            screens.status.setAccount(account);
            QCOMPARE(screens.view<ProView>(Screen::pro)->content(), content);
        }
    }

    void openingCheckoutDisablesTheOtherPlan() {
        Screens screens;
        screens.status.setAccount(SampleAccount::free(screens.clock.now()));
        auto* view = screens.view<ProView>(Screen::pro);
        bool opened = false;
        screens.whileOpening = [&] {
            QCOMPARE(screens.windows.pro().opening(),
                     PaymentPage::checkout(PlanRow::Period::yearly));
            QVERIFY(view->yearlyRow()->isOpening());
            QVERIFY(!view->yearlyRow()->button()->isVisibleTo(view));
            QVERIFY(!view->monthlyRow()->button()->isEnabled());
            opened = true;
        };
        view->yearlyRow()->button()->click();
        QVERIFY(opened);
        QVERIFY(view->monthlyRow()->button()->isEnabled());
    }

    void badgeWarnsOnlyUntilTheWeekResets() {
        Screens screens;
        Account account = SampleAccount::free(screens.clock.now());
        account.week.remaining = 0;
        account.week.resetsAt = screens.clock.now().addSecs(3600);
        screens.status.setAccount(account);
        QVERIFY(screens.view<ProView>(Screen::pro)->badge()->showsLimit());
        screens.windows.close(Screen::pro);
        screens.clock.advance(3601);
        QVERIFY(!screens.view<ProView>(Screen::pro)->badge()->showsLimit());
    }

    void deletionErrorStaysWithTheWindow() {
        const std::pair<RelayFailure, QString> rows[] = {
            {RelayFailure::paymentUnavailable(), Texts::deleteAccountStripeFailed()},
            {RelayFailure::unavailable(), RelayFailure::unavailable().message()},
        };
        for (const auto& [failure, shown] : rows) {
            Screens screens;
            screens.status.setSignedIn(true);
            auto* view = screens.view<SettingsView>(Screen::settings);
            screens.session.failures = {failure};
            view->deleteAccount();
            QCOMPARE(view->deletionError(), std::optional<QString>(shown));
            QVERIFY(!view->isDeletingAccount());
            QWidget* window = screens.windows.window(Screen::settings);
            screens.windows.close(Screen::settings);
            QCOMPARE(screens.windows.show(Screen::settings), window);
            QCOMPARE(view->deletionError(), std::optional<QString>(shown));
        }
    }

    void keySourceFollowsTheDesktop_data() {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("line"); // empty: no line at all
        QTest::addColumn<bool>("button");
        // An X server never sees Fn: it is not offered there.
        QTest::newRow("X11, no Fn") << Source{} << QString() << false;
        QTest::newRow("portal, trigger in force")
            << Source{Source::Kind::desktopShortcut, u"F9"_s, true}
            << Texts::keySourceShortcut(u"F9"_s) << true;
        QTest::newRow("portal, trigger refused") << Source{Source::Kind::desktopShortcut, {}, false}
                                                 << Texts::keySourceShortcutUnset() << false;
        QTest::newRow("compositor bindings") << Source{Source::Kind::compositorBinding, {}, false}
                                             << Texts::keySourceBinding() << false;
    }
    void keySourceFollowsTheDesktop() {
        QFETCH(Source, source);
        QFETCH(QString, line);
        QFETCH(bool, button);
        Screens screens;
        auto* view = screens.view<SettingsView>(Screen::settings);
        screens.status.setKeySource(source);
        QStringList shown;
        for (const QLabel* label : view->findChildren<QLabel*>()) {
            if (label->isVisibleTo(view))
                shown << label->text();
        }
        for (const QString& candidate :
             {Texts::keySourceShortcut(u"F9"_s), Texts::keySourceShortcutUnset(),
              Texts::keySourceBinding()})
            QCOMPARE(shown.contains(candidate), candidate == line);
        bool configure = false;
        for (const QPushButton* push : view->findChildren<QPushButton*>())
            configure = configure ||
                        (push->text() == Texts::keySourceConfigure() && push->isVisibleTo(view));
        QCOMPARE(configure, button);
        const auto* keys = view->findChild<QComboBox*>();
        QCOMPARE(keys->findData(int(parlova::core::HoldKey::function)) >= 0,
                 source.kind != Source::Kind::displayServer);
    }
};

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
