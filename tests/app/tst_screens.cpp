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

Q_DECLARE_METATYPE(Account)
Q_DECLARE_METATYPE(RelayFailure)
Q_DECLARE_METATYPE(ProView::Content)

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
    // The e-mail step done: the code step is on show.
    void codeSent() {
        windows.signIn().setEmail(SampleAccount::email);
        windows.signIn().requestCode();
        QVERIFY(windows.signIn().step().isCode());
    }
};

} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
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

    void resendFollowsTheCountdown() {
        Screens screens;
        screens.codeSent();
        QPushButton* resend = screens.signInView()->resendButton();
        screens.clock.advance(29.2);
        QCOMPARE(resend->text(), Texts::resendIn(u"1"_s));
        QVERIFY(!resend->isEnabled());
        screens.clock.advance(0.8);
        QCOMPARE(resend->text(), Texts::resend());
        QVERIFY(resend->isEnabled());
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

    void proScreenByOffer_data() {
        QTest::addColumn<Account>("account");
        QTest::addColumn<ProView::Content>("content");
        const QDateTime now = FakeClock().now();
        QTest::newRow("free") << SampleAccount::free(now) << ProView::Content::planChoice;
        QTest::newRow("trial") << SampleAccount::trial(now) << ProView::Content::planChoice;
        QTest::newRow("subscriber") << SampleAccount::subscriber(now) << ProView::Content::summary;
    }
    void proScreenByOffer() {
        QFETCH(Account, account);
        QFETCH(ProView::Content, content);
        Screens screens;
        screens.status.setAccount(account);
        QCOMPARE(screens.view<ProView>(Screen::pro)->content(), content);
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

    void deletionErrorStaysWithTheWindow_data() {
        QTest::addColumn<RelayFailure>("failure");
        QTest::addColumn<QString>("shown");
        QTest::newRow("payment service")
            << RelayFailure::paymentUnavailable() << Texts::deleteAccountStripeFailed();
        QTest::newRow("other") << RelayFailure::unavailable()
                               << RelayFailure::unavailable().message();
    }
    void deletionErrorStaysWithTheWindow() {
        QFETCH(RelayFailure, failure);
        QFETCH(QString, shown);
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
