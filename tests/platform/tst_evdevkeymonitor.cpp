#include "platform/linux/EvdevKeyMonitor.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

using parlova::core::HoldKey;
using parlova::core::HoldMachine;
using parlova::platform::EvdevKeyMonitor;
using Event = HoldMachine::Event;

namespace {

struct Input {
    unsigned short code;
    int value; // 0 release, 1 press, 2 repeat
    double at = 0.0;
    unsigned short type = EV_KEY;
};

// A keyboard node of the watched folder: a FIFO fed with input events, as
// the kernel would write them.
class FakeKeyboard {
public:
    FakeKeyboard(const QTemporaryDir& folder, const QString& name)
        : m_path(QFile::encodeName(folder.filePath(name))) {
        ::mkfifo(m_path.constData(), 0600);
    }
    ~FakeKeyboard() { unplug(); }

    // Once the monitor reads the node.
    bool plug() {
        m_fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        return m_fd >= 0;
    }
    void unplug() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void send(const QList<Input>& inputs) {
        for (const Input& in : inputs) {
            input_event event{};
            event.input_event_sec = static_cast<decltype(event.input_event_sec)>(in.at);
            event.input_event_usec = static_cast<decltype(event.input_event_usec)>(
                (in.at - static_cast<double>(event.input_event_sec)) * 1e6 + 0.5);
            event.type = in.type;
            event.code = in.code;
            event.value = in.value;
            const input_event report{event.time, EV_SYN, SYN_REPORT, 0};
            QVERIFY(::write(m_fd, &event, sizeof event) == ssize_t(sizeof event));
            QVERIFY(::write(m_fd, &report, sizeof report) == ssize_t(sizeof report));
        }
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};

// Every row ends with a press of B, so that a row expecting nothing still
// proves its inputs were read.
const Input marker{KEY_B, 1, 99.0};

QList<Event> received(QSignalSpy& spy, int count) {
    if (!QTest::qWaitFor([&] { return spy.count() >= count; }, 5000))
        return {};
    QList<Event> events;
    for (const auto& arguments : std::as_const(spy))
        events << *static_cast<const Event*>(arguments.at(0).constData());
    spy.clear();
    return events;
}

} // namespace

Q_DECLARE_METATYPE(HoldKey)
Q_DECLARE_METATYPE(QList<Input>)

class TestEvdevKeyMonitor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void translation_data();
    void translation();
    void keyboardsComeAndGo();
};

void TestEvdevKeyMonitor::translation_data() {
    QTest::addColumn<HoldKey>("holdKey");
    QTest::addColumn<QList<Input>>("inputs");
    QTest::addColumn<QList<Event>>("expected");
    const Event other = Event::otherKeyPressed();

    QTest::newRow("hold key down, repeats, up")
        << HoldKey::rightControl
        << QList<Input>{{KEY_RIGHTCTRL, 1, 10.25},
                        {KEY_RIGHTCTRL, 2, 10.5},
                        {KEY_RIGHTCTRL, 0, 11.0}}
        << QList<Event>{Event::keyDown(10.25), Event::keyUp(11.0)};
    QTest::newRow("left twin and other modifiers") << HoldKey::rightControl
                                                   << QList<Input>{{KEY_LEFTCTRL, 1, 1},
                                                                   {KEY_LEFTCTRL, 0, 2},
                                                                   {KEY_LEFTSHIFT, 1, 3},
                                                                   {KEY_RIGHTALT, 1, 4},
                                                                   {KEY_CAPSLOCK, 1, 5}}
                                                   << QList<Event>{};
    QTest::newRow("held letter counts once") << HoldKey::rightOption
                                             << QList<Input>{{KEY_RIGHTALT, 1, 5.0},
                                                             {KEY_A, 1, 5.1},
                                                             {KEY_A, 2, 5.6},
                                                             {KEY_A, 2, 5.7},
                                                             {KEY_A, 0, 5.8}}
                                             << QList<Event>{Event::keyDown(5.0), other};
    QTest::newRow("right Super and Fn") << HoldKey::rightCommand
                                        << QList<Input>{{KEY_FN, 1, 1},
                                                        {KEY_LEFTMETA, 1, 2},
                                                        {KEY_RIGHTMETA, 1, 3},
                                                        {KEY_RIGHTMETA, 0, 4}}
                                        << QList<Event>{Event::keyDown(3), Event::keyUp(4)};
    QTest::newRow("Fn as the hold key")
        << HoldKey::function << QList<Input>{{KEY_FN, 1, 7.5}, {KEY_FN, 0, 8.0}}
        << QList<Event>{Event::keyDown(7.5), Event::keyUp(8.0)};
    QTest::newRow("buttons and other event types")
        << HoldKey::rightControl
        << QList<Input>{{BTN_LEFT, 1, 1}, {BTN_LEFT, 0, 2}, {KEY_A, 1, 3, EV_MSC}}
        << QList<Event>{};
}

void TestEvdevKeyMonitor::translation() {
    QFETCH(HoldKey, holdKey);
    QFETCH(QList<Input>, inputs);
    QFETCH(QList<Event>, expected);

    QTemporaryDir folder;
    FakeKeyboard keyboard(folder, QStringLiteral("event3"));
    EvdevKeyMonitor monitor(folder.path());
    monitor.setHoldKey(holdKey);
    QVERIFY(monitor.start());
    QVERIFY(keyboard.plug());
    QSignalSpy spy(&monitor, &EvdevKeyMonitor::event);

    keyboard.send(inputs + QList<Input>{marker});
    QCOMPARE(received(spy, int(expected.size()) + 1),
             expected + QList<Event>{Event::otherKeyPressed()});
}

void TestEvdevKeyMonitor::keyboardsComeAndGo() {
    QTemporaryDir folder;
    FakeKeyboard first(folder, QStringLiteral("event0"));
    EvdevKeyMonitor monitor(folder.path());
    QVERIFY(monitor.start());
    // A second start replaces the sources instead of adding to them.
    QVERIFY(monitor.start());
    QCOMPARE(monitor.keyboardCount(), 1);
    QVERIFY(first.plug());
    QSignalSpy spy(&monitor, &EvdevKeyMonitor::event);

    FakeKeyboard later(folder, QStringLiteral("event1"));
    QTRY_COMPARE(monitor.keyboardCount(), 2);
    QVERIFY(later.plug());
    later.send({{KEY_RIGHTCTRL, 1, 2.0}});
    QCOMPARE(received(spy, 1), QList<Event>{Event::keyDown(2.0)});

    // The hold key is read per event.
    monitor.setHoldKey(HoldKey::rightOption);
    later.send({{KEY_RIGHTCTRL, 0, 3.0}, {KEY_RIGHTALT, 1, 3.5}});
    QCOMPARE(received(spy, 1), QList<Event>{Event::keyDown(3.5)});

    // Unplugged: dropped once, and the other keyboard still speaks.
    later.unplug();
    QTRY_COMPARE(monitor.keyboardCount(), 1);
    first.send({marker});
    QCOMPARE(received(spy, 1), QList<Event>{Event::otherKeyPressed()});

    monitor.stop();
    QCOMPARE(monitor.keyboardCount(), 0);
}

QTEST_GUILESS_MAIN(TestEvdevKeyMonitor)
#include "tst_evdevkeymonitor.moc"
