#include "Rig.h"
#include "platform/linux/X11Display.h"
#include "platform/linux/X11KeyMonitor.h"

#include <QSignalSpy>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using parlova::core::HoldKey;
using parlova::platform::X11KeyMonitor;
using Kind = parlova::core::HoldMachine::Event::Kind;
using Kinds = QList<Kind>;
using Strokes = QList<std::pair<unsigned, bool>>; // X11 key code, down

Q_DECLARE_METATYPE(HoldKey)

namespace {

// Key codes of the default keymap (evdev codes plus 8).
enum : unsigned { leftControl = 37, leftShift = 50, a = 38, b = 56, rightAlt = 108 };

// Typed through XTest on a connection of the test's own, then a B, so that a
// row expecting nothing still proves its keys were read.
void type(Strokes strokes) {
    const parlova::platform::X11Display display;
    QVERIFY(display);
    for (const auto& [key, down] : strokes << std::pair{b, true} << std::pair{b, false})
        XTestFakeKeyEvent(display.get(), key, down ? True : False, CurrentTime);
}

} // namespace

class TestX11KeyMonitor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PARLOVA_REQUIRE_RIG(); }

    void events_data() {
        QTest::addColumn<HoldKey>("holdKey");
        QTest::addColumn<Strokes>("strokes");
        QTest::addColumn<Kinds>("expected");
        // The hold key alone is in tst_dictation_e2e.
        QTest::newRow("left twin") << HoldKey::rightControl
                                   << Strokes{{leftControl, true}, {leftControl, false}} << Kinds{};
        QTest::newRow("held letter")
            << HoldKey::rightControl << Strokes{{a, true}, {a, true}, {a, true}, {a, false}}
            << Kinds{Kind::otherKeyPressed};
        QTest::newRow("left Ctrl and Shift during a hold")
            << HoldKey::rightOption
            << Strokes{{rightAlt, true},   {leftControl, true},  {leftShift, true},
                       {leftShift, false}, {leftControl, false}, {rightAlt, false}}
            << Kinds{Kind::keyDown, Kind::keyUp};
    }

    void events() {
        QFETCH(HoldKey, holdKey);
        QFETCH(Strokes, strokes);
        QFETCH(Kinds, expected);
        X11KeyMonitor monitor;
        monitor.setHoldKey(holdKey);
        QVERIFY(monitor.start().ok());
        QVERIFY(monitor.start().ok()); // replaces its connection, never adds one
        QSignalSpy spy(&monitor, &X11KeyMonitor::event);
        type(strokes);
        expected << Kind::otherKeyPressed;
        QTRY_COMPARE(spy.size(), expected.size());
        QTest::qWait(50); // and nothing more
        Kinds kinds;
        for (const auto& arguments : std::as_const(spy))
            kinds << static_cast<const parlova::core::HoldMachine::Event*>(
                         arguments.at(0).constData())
                         ->kind();
        QCOMPARE(kinds, expected);

        monitor.stop();
        type({});
        QTest::qWait(100);
        QCOMPARE(spy.size(), expected.size());
    }
};

QTEST_GUILESS_MAIN(TestX11KeyMonitor)
#include "tst_x11keymonitor.moc"
