#include "DesktopProgram.h"
#include "DesktopWindows.h"
#include "Rig.h"
#include "ScriptedPortal.h"
#include "WaylandDesktop.h"
#include "core/program/SingleInstance.h"
#include "platform/WindowPlatform.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

using namespace parlova;
using test::ScriptedPortal;
using test::WaylandDesktop;
using test::WaylandTextWindow;

namespace {

const QString recording = u"/usr/share/pocketsphinx/test/data/goforward.raw"_s;
// Accents, typographic apostrophes, no-break spaces.
const QString sentence = u"L’été, c’est à Noël\u00a0? Où êtes-vous\u00a0!"_s;

} // namespace

// Parlova as it runs on a Wayland desktop (sway with XWayland): its windows
// on XWayland, the hold key through sway's bindings running `parlova
// --maintenir` and `--relacher` (or through a scripted GlobalShortcuts
// portal), the paste through the compositor; no /dev/input, no /dev/uinput.
class DictationWaylandTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dictatesIntoNativeWindows_data() {
        QTest::addColumn<WaylandTextWindow::Kind>("kind");
        QTest::addColumn<int>("holdMs");
        // "bindings": sway's; "shortcut": the portal's; "lost": the portal
        // leaves the bus mid-hold.
        QTest::addColumn<QString>("door");
        // Longer than the recording played into the microphone.
        QTest::newRow("GTK window") << WaylandTextWindow::Kind::gtk << 4000 << "bindings";
        QTest::newRow("foot") << WaylandTextWindow::Kind::foot << 4000 << "bindings";
        QTest::newRow("a tap writes nothing") << WaylandTextWindow::Kind::gtk << 100 << "bindings";
        QTest::newRow("desktop shortcut") << WaylandTextWindow::Kind::gtk << 4000 << "shortcut";
        QTest::newRow("the portal leaves mid-hold")
            << WaylandTextWindow::Kind::gtk << 4000 << "lost";
    }

    void dictatesIntoNativeWindows() {
        PARLOVA_REQUIRE_RIG();
        QFETCH(WaylandTextWindow::Kind, kind);
        QFETCH(int, holdMs);
        QFETCH(QString, door);
        QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
        // Up before the program looks for it, as a desktop's portal is.
        std::unique_ptr<ScriptedPortal> portal;
        if (door != u"bindings") {
            portal = std::make_unique<ScriptedPortal>(QDBusConnection::connectToBus(
                QDBusConnection::SessionBus, u"portail-%1"_s.arg(door)));
            QVERIFY(portal->registered());
        }
        test::DesktopProgram program;
        QVERIFY2(program.made(u"wayland@exemple.fr"_s), qPrintable(program.relay.errorString()));
        app::AppDelegate& delegate = *program.delegate;
        core::SingleInstance instance(WaylandDesktop::instanceSocket());
        QVERIFY(instance.listen().ok());
        WaylandDesktop::openToDesktopUser(WaylandDesktop::instanceSocket());
        QObject::connect(
            &instance, &core::SingleInstance::holdKeyHandedOver, &delegate,
            [&delegate](bool down, double at) { delegate.controller().handOverHoldKey(down, at); });
        delegate.launch();
        QTRY_VERIFY_WITH_TIMEOUT(delegate.controller().status().account().has_value(), 20000);
        // Nothing to allow: sway's bindings and its virtual keyboard.
        QTRY_VERIFY(delegate.controller().status().accessibility());

        WaylandTextWindow window(kind);
        QVERIFY(window.open());
        QVERIFY(program.relay.setNextTranscript(sentence));

        const auto nothingWritten = [&] {
            QCOMPARE(window.text(), QString());
            QTRY_COMPARE(delegate.controller().activity(),
                         app::DictationController::Activity::ready);
            QCOMPARE(program.takeFiles(), QStringList());
        };
        QProcess typist;
        QElapsedTimer held;
        held.start();
        if (portal) {
            QTRY_COMPARE(portal->calls(u"BindShortcuts"_s).size(), 1);
            portal->activate(u"dicter"_s, 1000);
        } else {
            WaylandDesktop::holdKey(typist, holdMs);
        }
        if (holdMs < 300) {
            QTRY_COMPARE(typist.state(), QProcess::NotRunning);
            QTest::qWait(1500);
            nothingWritten();
            return;
        }
        // The pill is up, on XWayland, and the window keeps the focus.
        QTRY_VERIFY(program.pill->isShown());
        QCOMPARE(WaylandDesktop::focusedWindow(), window.appId());
        test::runServing(u"paplay"_s,
                         {"--raw", "--rate=16000", "--channels=1", "--format=s16le", recording});
        if (door == u"lost") {
            portal->leave();
            QTest::qWait(1500);
            nothingWritten();
            return;
        }
        if (portal) {
            QTest::qWait(std::max(0, holdMs - int(held.elapsed())));
            portal->deactivate(u"dicter"_s, 1000 + holdMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(typist.state(), QProcess::NotRunning, 10000);

        if (kind == WaylandTextWindow::Kind::foot) {
            QTRY_COMPARE_WITH_TIMEOUT(delegate.controller().activity(),
                                      app::DictationController::Activity::ready, 20000);
            test::runServing(u"wtype"_s, {"-k", "Return"});
        }
        // (The clipboard given back and the focus kept after the paste: tst_waylandpaste.)
        QTRY_COMPARE_WITH_TIMEOUT(window.text(), sentence, 20000);
        QTRY_COMPARE(delegate.controller().activity(), app::DictationController::Activity::ready);
        QCOMPARE(program.takeFiles(), QStringList());
    }
};

int main(int argc, char** argv) {
    // No uinput here, and no X11 session: the paste must find its own way.
    // As a desktop session starts it: no platform chosen (ctest chooses
    // offscreen for the widget tests).
    if (parlova::test::WaylandDesktop::useWaylandSession()) {
        qunsetenv("QT_QPA_PLATFORM");
        parlova::platform::chooseWindowPlatform();
    }
    QApplication application(argc, argv);
    DictationWaylandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dictation_wayland.moc"
