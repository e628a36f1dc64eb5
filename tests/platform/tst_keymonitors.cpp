// The hold key: the machine that makes takes of its presses and releases,
// then those as the evdev and X11 monitors read them, from one table of
// strokes fed to a keyboard node of a watched folder and, on the rig, typed
// on the X server.
#include "Rig.h"
#include "core/domain/HoldMachine.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/X11Display.h"
#include "platform/linux/X11KeyMonitor.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <limits>
#include <vector>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

using parlova::core::HoldKey;
using parlova::core::HoldMachine;
using parlova::platform::EvdevKeyMonitor;
using parlova::platform::X11KeyMonitor;
using Command = HoldMachine::Command;
using Event = HoldMachine::Event;
using Events = QList<Event>;
using Phase = HoldMachine::Phase;

namespace {
// One event and the command it must bring.
struct Step {
    Event event;
    Command command;
};
using Steps = std::vector<Step>;

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
Q_DECLARE_METATYPE(HoldMachine::Phase)
Q_DECLARE_METATYPE(Steps)

namespace parlova::core {

// Readable failures: the phase that came out.
char* toString(const HoldMachine::Phase& phase) {
    const char* names[] = {"idle", "holding since ", "busy"};
    QByteArray text = names[static_cast<int>(phase.kind())];
    if (phase.kind() == HoldMachine::Phase::Kind::holding)
        text += QByteArray::number(phase.since(), 'g', 17);
    return qstrdup(text.constData());
}

} // namespace parlova::core

class TestKeyMonitors : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sequences_data() {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Phase>("phase");
        const auto down = Event::keyDown;
        const auto up = Event::keyUp;
        const Event other = Event::otherKeyPressed(), maximum = Event::maximumReached(),
                    done = Event::done();
        const Command none = Command::none, start = Command::startListening,
                      cancel = Command::cancelListening, stop = Command::stopAndTranscribe;

        // A release decides by the hold's length: 0.3 s at least makes a take; a
        // dropped tap leaves the machine ready for the next press at once.
        QTest::newRow("exactly the minimum")
            << Steps{{down(10), start}, {up(10.3), stop}} << Phase::busy();
        // Their difference is 0.29999999998835847 in binary floating point.
        QTest::newRow("the minimum from millisecond stamps after days of uptime")
            << Steps{{down(345678.912), start}, {up(345679.212), stop}} << Phase::busy();
        QTest::newRow("beyond the maximum")
            << Steps{{down(0), start}, {up(HoldMachine::maximumHold + 5.0), stop}} << Phase::busy();
        QTest::newRow("a tap") << Steps{{down(10), start},
                                        {up(10.299999), cancel},
                                        {down(11), start}}
                               << Phase::holding(11.0);
        QTest::newRow("released before the press")
            << Steps{{down(10), start}, {up(9), cancel}, {down(11), start}} << Phase::holding(11.0);
        QTest::newRow("released at no time")
            << Steps{{down(10), start},
                     {up(std::numeric_limits<double>::quiet_NaN()), cancel},
                     {down(11), start}}
            << Phase::holding(11.0);
        QTest::newRow("a fresh machine only starts on a press")
            << Steps{{up(3), none}, {other, none}, {maximum, none}, {done, none}, {down(3), start}}
            << Phase::holding(3.0);
        // Measured from the second press this would be a 0.15 s tap.
        QTest::newRow("a repeated press measures from the first")
            << Steps{{down(5), start}, {down(5.2), none}, {up(5.35), stop}} << Phase::busy();
        // Pressing during a transcription neither starts nor queues a take.
        QTest::newRow("busy ignores every key until done")
            << Steps{{down(1), start}, {up(2), stop},  {down(3), none},
                     {up(4), none},    {other, none},  {maximum, none},
                     {done, none},     {up(10), none}, {down(11), start}}
            << Phase::holding(11.0);
        // The release may come after the take has ended, even after its dictation.
        QTest::newRow("the maximum ends the take; the later release is ignored")
            << Steps{{down(100), start}, {maximum, stop}, {up(221), none},
                     {down(222), none},  {done, none},    {up(230), none}}
            << Phase::idle();
        // The hold key's own release, long after, must not turn into a dictation.
        QTest::newRow("another key cancels the hold")
            << Steps{{down(1), start}, {other, cancel}, {up(3), none}} << Phase::idle();
        // The controller refuses a take (signed out, no microphone) by answering done.
        QTest::newRow("done during the hold")
            << Steps{{down(1), start}, {done, none}, {up(2), none}} << Phase::idle();
    }

    void sequences() {
        QFETCH(Steps, steps);
        QFETCH(Phase, phase);
        HoldMachine machine;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const Command command = machine.handle(steps[i].event);
            QVERIFY2(command == steps[i].command, qPrintable(QStringLiteral("step %1").arg(i + 1)));
        }
        QCOMPARE(machine.phase(), phase);
    }

    // The monitors.
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
