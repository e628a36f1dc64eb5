// The program's launches: a later one handing its links to the running
// one, which opens them into the right window, the menu it starts with, and
// its snapshot mode as CI runs it.
#include "app/AppDelegate.h"
#include "app/fake/FakeClock.h"
#include "app/fake/RecordingPill.h"
#include "app/snapshot/SampleAccount.h"
#include "app/windows/ReferralView.h"
#include "app/windows/ScreenWindow.h"
#include "app/windows/WelcomeFlow.h"
#include "core/program/SingleInstance.h"
#include "core/texts/Texts.h"
#include "platform/fake/FakeKeyMonitor.h"
#include "platform/fake/FakePermissions.h"
#include "platform/fake/FakeRecorder.h"
#include "platform/fake/FakeTextInserter.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace parlova::app;
using parlova::core::AsyncKeychain;
using parlova::core::SingleInstance;
using parlova::core::Texts;
using Screen = WindowCoordinator::Screen;

namespace {

// An empty keychain that answers only once opened: a launch waits for it.
// Nothing here writes to it.
class ClosedKeychain final : public parlova::core::SecretStore {
public:
    QSemaphore open;

    Found find(const QString&, const QString&) override {
        open.acquire();
        open.release();
        return itemNotFound;
    }
    qint32 update(const QString&, const QString&, const QByteArray&) override {
        return itemNotFound;
    }
    qint32 add(const QString&, const QString&, const QString&, const QByteArray&) override {
        return success;
    }
    qint32 remove(const QString&, const QString&) override { return itemNotFound; }
};

// The program on fake devices, an empty keychain and a hand-driven clock,
// without a tray icon.
struct Program {
    QTemporaryDir folder;
    FakeClock clock;
    ClosedKeychain store;
    AsyncKeychain keychain{store};
    std::unique_ptr<AppDelegate> delegate = make();

    std::unique_ptr<AppDelegate> make() {
        AppParts parts;
        parts.devices.keyMonitor = std::make_unique<parlova::platform::FakeKeyMonitor>();
        parts.devices.recorder = std::make_unique<parlova::platform::FakeRecorder>(folder.path());
        parts.devices.inserter = std::make_unique<parlova::platform::FakeTextInserter>();
        parts.devices.permissions = std::make_unique<parlova::platform::FakePermissions>();
        parts.devices.pill = std::make_unique<RecordingPill>();
        parts.store = parlova::core::SettingsStore(
            std::make_shared<QSettings>(folder.filePath(u"parlova.conf"_s), QSettings::IniFormat));
        parts.keychain = &keychain;
        parts.clock = &clock;
        parts.loginItem = LoginItem(folder.filePath(u"autostart"_s));
        parts.browser = [](const QUrl&) {
            return parlova::core::Done<ProModel::Error>(std::monostate{});
        };
        parts.takeFolder = folder.path();
        parts.statusItem = false;
        return std::make_unique<AppDelegate>(std::move(parts));
    }
    void launch() {
        store.open.release();
        delegate->launch();
        QTRY_VERIFY(!delegate->isLaunching());
    }
    QWidget* shown(Screen screen) {
        QWidget* window = delegate->windows().window(screen);
        return window && window->isVisible() ? window : nullptr;
    }
};

const QUrl invitation(u"parlova://parrainage/h4t9wx"_s);
const QString code = u"H4T9WX"_s;

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void laterLaunchesHandOverTheirLinksAndHoldKeys() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
        // What a crash leaves behind answers nobody, and is taken over.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(!SingleInstance::handOver(path, {}, 200).ok());

        SingleInstance first(path);
        QVERIFY(first.listen().ok());
        SingleInstance second(path);
        QVERIFY(!second.listen().ok());

        QSignalSpy received(&first, &SingleInstance::received);
        QSignalSpy keys(&first, &SingleInstance::holdKeyHandedOver);
        const QStringList links{QStringLiteral("parlova://compte"),
                                QStringLiteral("parlova://parrainage/K7M2QX")};
        for (const QStringList& handed : {links, QStringList()}) {
            QVERIFY(SingleInstance::handOver(path, handed, 2000).ok());
            QTRY_COMPARE(received.size(), 1);
            QCOMPARE(received.takeFirst().at(0).toStringList(), handed);
        }

        // Hold keys come on a signal of their own: they are not launches.
        // (Pasting the last dictation again, asked from another process, is
        // tst_dictation_e2e's; with nobody listening, tst_commandlinetool's.)
        const double before = SingleInstance::monotonicNow();
        QVERIFY(SingleInstance::handOverHoldKey(path, true).ok());
        QVERIFY(SingleInstance::handOverHoldKey(path, false).ok());
        QTRY_COMPARE(keys.size(), 2);
        QCOMPARE(keys.at(0).at(0).toBool(), true);
        QCOMPARE(keys.at(1).at(0).toBool(), false);
        // Stamps travel to the microsecond, rounded.
        QVERIFY(keys.at(0).at(1).toDouble() >= before - 1e-6);
        QVERIFY(keys.at(1).at(1).toDouble() >= keys.at(0).at(1).toDouble());
        QCOMPARE(received.size(), 0);
    }

    void menuWithoutAccount() {
        Program program;
        program.launch();
        QCOMPARE(program.delegate->statusMenu().visibleLines(),
                 (QStringList{Texts::signInTitle(), u"—"_s, Texts::settingsItem(),
                              Texts::permissionsItem(), u"—"_s, Texts::quitItem()}));
    }

    void invitationLink() {
        // Signed out, signed in, and signed in with the account still loading:
        // the sentence shows as soon as the outcome is known.
        for (const auto& [signedIn, accountRead] :
             {std::pair(false, false), std::pair(true, true), std::pair(true, false)}) {
            Program program;
            program.launch();
            program.delegate->windows().close(Screen::welcome);
            StatusModel& status = program.delegate->controller().status();
            status.setSignedIn(signedIn);
            if (accountRead)
                status.setAccount(SampleAccount::free(program.clock.now()));
            program.delegate->open({invitation, QUrl(u"https://parrainage/X"_s)});

            QCOMPARE(program.delegate->windows().signIn().referral(), code);
            QCOMPARE(program.shown(Screen::welcome) != nullptr, !signedIn);
            QCOMPARE(program.shown(Screen::referral) != nullptr, signedIn);
            if (signedIn) {
                auto* window = static_cast<ScreenWindow*>(program.shown(Screen::referral));
                QCOMPARE(qobject_cast<ReferralView*>(window->content())->ignoredText(),
                         Texts::referralIgnored(code));
            }
        }
    }

    void linkDuringLaunchWaitsForTheWelcomeDecision() {
        Program program;
        program.delegate->launch();
        QVERIFY(program.delegate->isLaunching());
        program.delegate->open({invitation});
        QVERIFY(!program.shown(Screen::welcome));
        program.store.open.release();
        QTRY_VERIFY(!program.delegate->isLaunching());
        QVERIFY(program.shown(Screen::welcome));
        QCOMPARE(program.delegate->windows().signIn().referral(), code);
    }

    void writesTheSixteenFilesAndQuits() {
        QTemporaryDir work;
        const QString folder = work.filePath(u"sortie/images"_s);
        QProcess parlova;
        parlova.start(qEnvironmentVariable("PARLOVA_EXE"), {u"--capturer"_s, folder});
        QVERIFY(parlova.waitForFinished(90000));
        QCOMPARE(parlova.exitCode(), 0);

        const QStringList pictures =
            QStringLiteral("autorisations connexion-adresse connexion-code parrainage "
                           "parrainage-deja-connecte pastille-ecoute pastille-message "
                           "pastille-message-long pastille-plafond pastille-transcription "
                           "pro-abonne pro-essai pro-gratuit reglages")
                .split(u' ');
        QStringList expected{u"menu-gratuit.txt"_s, u"menu-pro.txt"_s};
        for (const QString& name : pictures)
            expected.append(name + u".png"_s);
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);

        for (const QString& name : pictures) {
            const QImage image(QDir(folder).filePath(name + u".png"_s));
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3) {
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            }
            QVERIFY2(colours.size() > 20, qPrintable(name));
        }

        const QString ready = Texts::ready(u"Fn"_s);
        const auto lines = [&](const QString& name) {
            QFile file(QDir(folder).filePath(name));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n')
                                                  : QStringList();
        };
        const QStringList tail{u"—"_s, Texts::settingsItem(), Texts::permissionsItem(),
                               u"—"_s, Texts::terms(),        Texts::privacy(),
                               u"—"_s, Texts::quitItem()};
        QCOMPARE(lines(u"menu-gratuit.txt"_s),
                 QStringList({ready, u"1\u00A0240 mots restants cette semaine"_s, u"—"_s,
                              Texts::upgradeItem(), Texts::referralItem()}) +
                     tail);
        QCOMPARE(lines(u"menu-pro.txt"_s),
                 QStringList(
                     {ready, u"Pro"_s, u"—"_s, Texts::subscriptionItem(), Texts::referralItem()}) +
                     tail);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "tst_appdelegate.moc"
