// The hold key as the evdev and X11 monitors read it: one table of strokes,
// fed to a keyboard node of a watched folder and, on the rig, typed on the X
// server.
#include "Rig.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/X11Display.h"
#include "platform/linux/X11KeyMonitor.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

using parlova::core::HoldKey;
using parlova::platform::EvdevKeyMonitor;
using parlova::platform::X11KeyMonitor;
using Event = parlova::core::HoldMachine::Event;
using Events = QList<Event>;

namespace {

struct Input {
    unsigned short code; // evdev's; X11's is 8 more
    int value;           // 0 release, 1 press, 2 repeat
    double at = 0.0;
    unsigned short type = EV_KEY;
};
using Inputs = QList<Input>;

// A keyboard node of the watched folder: a FIFO fed with input events as the
// kernel writes them.
struct FakeKeyboard {
    FakeKeyboard(const QTemporaryDir& folder, const char* name)
        : path(QFile::encodeName(folder.filePath(QLatin1String(name)))) {
        ::mkfifo(path.constData(), 0600);
    }
    ~FakeKeyboard() { unplug(); }
    bool plug() { return (fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK)) >= 0; }
    void unplug() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    void send(const Inputs& inputs) {
        for (const Input& in : inputs) {
            input_event event{
                {long(in.at), long((in.at - long(in.at)) * 1e6 + 0.5)}, in.type, in.code, in.value};
            const input_event report{event.time, EV_SYN, SYN_REPORT, 0};
            QVERIFY(::write(fd, &event, sizeof event) == sizeof event);
            QVERIFY(::write(fd, &report, sizeof report) == sizeof report);
        }
    }
    QByteArray path;
    int fd = -1;
};

// Every row ends with a press of B, so that a row expecting nothing still
// proves its inputs were read.
const Input marker{KEY_B, 1, 99.0};

// Typed through XTest on a connection of the test's own, a repeat as one more
// press, then the marker and its release.
void type(const Inputs& inputs) {
    const parlova::platform::X11Display display;
    QVERIFY(display);
    for (const Input& in : inputs + Inputs{marker, {KEY_B, 0}})
        XTestFakeKeyEvent(display.get(), in.code + 8, in.value ? True : False, CurrentTime);
}

Events received(QSignalSpy& spy, qsizetype count) {
    (void)QTest::qWaitFor([&] { return spy.count() >= count; }, 5000);
    Events events;
    for (const auto& arguments : std::as_const(spy))
        events << *static_cast<const Event*>(arguments.at(0).constData());
    spy.clear();
    return events;
}

// The X server stamps its own times: only the kinds are compared there.
QList<Event::Kind> kinds(const Events& events) {
    QList<Event::Kind> result;
    for (const Event& event : events)
        result << event.kind();
    return result;
}

} // namespace

Q_DECLARE_METATYPE(HoldKey)
Q_DECLARE_METATYPE(Inputs)

class TestKeyMonitors : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void evdev_data() {
        QTest::addColumn<HoldKey>("holdKey");
        QTest::addColumn<Inputs>("inputs");
        QTest::addColumn<Events>("expected");
        // An X server never sees Fn, buttons or other event types.
        QTest::addColumn<bool>("onX11");

        QTest::newRow("hold key down, repeats, up")
            << HoldKey::rightControl
            << Inputs{{KEY_RIGHTCTRL, 1, 10.25}, {KEY_RIGHTCTRL, 2, 10.5}, {KEY_RIGHTCTRL, 0, 11.0}}
            << Events{Event::keyDown(10.25), Event::keyUp(11.0)} << true;
        QTest::newRow("left twin")
            << HoldKey::rightControl << Inputs{{KEY_LEFTCTRL, 1}, {KEY_LEFTCTRL, 0}} << Events{}
            << true;
        QTest::newRow("modifiers, buttons, other types") << HoldKey::rightControl
                                                         << Inputs{{KEY_LEFTSHIFT, 1},
                                                                   {KEY_RIGHTALT, 1},
                                                                   {KEY_FN, 1},
                                                                   {BTN_LEFT, 1},
                                                                   {KEY_A, 1, 0, EV_MSC}}
                                                         << Events{} << false;
        QTest::newRow("held letter counts once")
            << HoldKey::rightOption
            << Inputs{{KEY_RIGHTALT, 1, 5.0}, {KEY_A, 1}, {KEY_A, 2}, {KEY_A, 2}, {KEY_A, 0},
                      {KEY_RIGHTALT, 0, 6.0}}
            << Events{Event::keyDown(5.0), Event::otherKeyPressed(), Event::keyUp(6.0)} << true;
        QTest::newRow("left Ctrl and Shift during a hold")
            << HoldKey::rightOption
            << Inputs{{KEY_RIGHTALT, 1, 1.0}, {KEY_LEFTCTRL, 1}, {KEY_LEFTSHIFT, 1},
                      {KEY_LEFTSHIFT, 0},     {KEY_LEFTCTRL, 0}, {KEY_RIGHTALT, 0, 2.0}}
            << Events{Event::keyDown(1.0), Event::keyUp(2.0)} << true;
        QTest::newRow("Fn") << HoldKey::function << Inputs{{KEY_FN, 1, 7.5}, {KEY_FN, 0, 8.0}}
                            << Events{Event::keyDown(7.5), Event::keyUp(8.0)} << false;
    }

    void evdev() {
        QFETCH(HoldKey, holdKey);
        QFETCH(Inputs, inputs);
        QFETCH(Events, expected);
        QTemporaryDir folder;
        FakeKeyboard keyboard(folder, "event3");
        EvdevKeyMonitor monitor(folder.path());
        monitor.setHoldKey(holdKey);
        QVERIFY(monitor.start().ok());
        QVERIFY(keyboard.plug());
        QSignalSpy spy(&monitor, &EvdevKeyMonitor::event);

        keyboard.send(inputs + Inputs{marker});
        expected << Event::otherKeyPressed();
        QCOMPARE(received(spy, expected.size()), expected);
    }

    void x11_data() { evdev_data(); }
    void x11() {
        PARLOVA_REQUIRE_RIG();
        QFETCH(HoldKey, holdKey);
        QFETCH(Inputs, inputs);
        QFETCH(Events, expected);
        QFETCH(bool, onX11);
        if (!onX11)
            QSKIP("not a key of an X server");
        X11KeyMonitor monitor;
        monitor.setHoldKey(holdKey);
        QVERIFY(monitor.start().ok());
        QVERIFY(monitor.start().ok()); // replaces its connection, never adds one
        QSignalSpy spy(&monitor, &X11KeyMonitor::event);
        type(inputs);
        expected << Event::otherKeyPressed();
        QTRY_COMPARE(spy.size(), expected.size());
        QTest::qWait(50); // and nothing more
        QCOMPARE(kinds(received(spy, expected.size())), kinds(expected));

        monitor.stop();
        type({});
        QTest::qWait(100);
        QCOMPARE(spy.size(), 0);
    }

    void keyboardsComeAndGo() {
        QTemporaryDir folder;
        FakeKeyboard first(folder, "event0");
        EvdevKeyMonitor monitor(folder.path());
        QVERIFY(monitor.start().ok());
        QVERIFY(monitor.start().ok()); // replaces its sources, never adds to them
        QCOMPARE(monitor.keyboardCount(), 1);
        QVERIFY(first.plug());
        QSignalSpy spy(&monitor, &EvdevKeyMonitor::event);

        FakeKeyboard later(folder, "event1");
        QTRY_COMPARE(monitor.keyboardCount(), 2);
        QVERIFY(later.plug());
        // The hold key is read afresh for each event.
        later.send({{KEY_RIGHTCTRL, 1, 2.0}});
        QCOMPARE(received(spy, 1), Events{Event::keyDown(2.0)});
        monitor.setHoldKey(HoldKey::rightOption);
        later.send({{KEY_RIGHTCTRL, 0, 3.0}, {KEY_RIGHTALT, 1, 3.5}});
        QCOMPARE(received(spy, 1), Events{Event::keyDown(3.5)});

        // Unplugged: dropped once, while the other keyboard still counts.
        later.unplug();
        QTRY_COMPARE(monitor.keyboardCount(), 1);
        first.send({marker});
        QCOMPARE(received(spy, 1), Events{Event::otherKeyPressed()});
        monitor.stop();
        QCOMPARE(monitor.keyboardCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestKeyMonitors)
#include "tst_keymonitors.moc"
