#include "Rig.h"
#include "platform/linux/X11KeyMonitor.h"

#include <QSignalSpy>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using parlova::core::HoldKey;
using parlova::platform::X11KeyMonitor;
using Event = parlova::core::HoldMachine::Event;

namespace {

// X11 key codes of the default keymap (evdev codes plus 8).
enum Key : unsigned {
    leftControl = 37,
    leftShift = 50,
    a = 38,
    b = 56,
    rightControl = 105,
    rightAlt = 108
};

struct Stroke {
    unsigned key;
    bool down;
};

// Keys typed through XTest on a connection of the test's own.
class Typist {
public:
    Typist()
        : m_display(XOpenDisplay(nullptr)) {}
    ~Typist() {
        if (m_display != nullptr)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }
    void type(const QList<Stroke>& strokes) {
        for (const Stroke& stroke : strokes)
            XTestFakeKeyEvent(m_display, stroke.key, stroke.down ? True : False, CurrentTime);
        XSync(m_display, False);
    }

private:
    Display* m_display;
};

// Ends every row: a row expecting nothing still proves its keys were read.
const QList<Stroke> marker{{b, true}, {b, false}};

QList<Event::Kind> kinds(QSignalSpy& spy, int count) {
    (void)QTest::qWaitFor([&] { return spy.count() >= count; }, 5000);
    QTest::qWait(50); // nothing more may follow
    QList<Event::Kind> result;
    for (const auto& arguments : std::as_const(spy))
        result << static_cast<const Event*>(arguments.at(0).constData())->kind();
    return result;
}

} // namespace

Q_DECLARE_METATYPE(HoldKey)
Q_DECLARE_METATYPE(QList<Stroke>)
Q_DECLARE_METATYPE(QList<Event::Kind>)

class TestX11KeyMonitor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PARLOVA_REQUIRE_RIG(); }
    void events_data();
    void events();
    void holdTimes();
};

void TestX11KeyMonitor::events_data() {
    QTest::addColumn<HoldKey>("holdKey");
    QTest::addColumn<QList<Stroke>>("strokes");
    QTest::addColumn<QList<Event::Kind>>("expected");
    using K = Event::Kind;

    QTest::newRow("hold key down and up")
        << HoldKey::rightControl << QList<Stroke>{{rightControl, true}, {rightControl, false}}
        << QList<K>{K::keyDown, K::keyUp};
    QTest::newRow("left twin ignored")
        << HoldKey::rightControl << QList<Stroke>{{leftControl, true}, {leftControl, false}}
        << QList<K>{};
    QTest::newRow("held letter counts once")
        << HoldKey::rightControl << QList<Stroke>{{a, true}, {a, true}, {a, true}, {a, false}}
        << QList<K>{K::otherKeyPressed};
    QTest::newRow("left Ctrl and Shift during a hold")
        << HoldKey::rightOption
        << QList<Stroke>{{rightAlt, true},   {leftControl, true},  {leftShift, true},
                         {leftShift, false}, {leftControl, false}, {rightAlt, false}}
        << QList<K>{K::keyDown, K::keyUp};
    QTest::newRow("another hold key is just a modifier")
        << HoldKey::rightOption << QList<Stroke>{{rightControl, true}, {rightControl, false}}
        << QList<K>{};
}

void TestX11KeyMonitor::events() {
    QFETCH(HoldKey, holdKey);
    QFETCH(QList<Stroke>, strokes);
    QFETCH(QList<Event::Kind>, expected);

    Typist typist;
    QVERIFY(typist.ok());
    X11KeyMonitor monitor;
    monitor.setHoldKey(holdKey);
    // Started twice: the second start replaces the first connection.
    QVERIFY(monitor.start());
    QVERIFY(monitor.start());
    QSignalSpy spy(&monitor, &X11KeyMonitor::event);
    typist.type(strokes + marker);
    QCOMPARE(kinds(spy, int(expected.size()) + 1),
             expected + QList<Event::Kind>{Event::Kind::otherKeyPressed});

    monitor.stop();
    typist.type(marker);
    QTest::qWait(100);
    QCOMPARE(spy.count(), expected.size() + 1);
}

void TestX11KeyMonitor::holdTimes() {
    Typist typist;
    QVERIFY(typist.ok());
    X11KeyMonitor monitor;
    QVERIFY(monitor.start());
    QSignalSpy spy(&monitor, &X11KeyMonitor::event);
    typist.type({{rightControl, true}});
    QVERIFY(spy.wait(5000));
    QTest::qWait(400);
    typist.type({{rightControl, false}});
    QVERIFY(spy.wait(5000));
    const double held = static_cast<const Event*>(spy.at(1).at(0).constData())->time() -
                        static_cast<const Event*>(spy.at(0).at(0).constData())->time();
    QVERIFY2(held >= 0.35 && held < 2.0, qPrintable(QString::number(held)));
}

QTEST_GUILESS_MAIN(TestX11KeyMonitor)
#include "tst_x11keymonitor.moc"
