#include "core/domain/HoldMachine.h"

#include <QTest>

#include <limits>
#include <vector>

using parlova::core::HoldMachine;
using Command = HoldMachine::Command;
using Event = HoldMachine::Event;
using Phase = HoldMachine::Phase;

namespace {

// One event and the command it must bring.
struct Step {
    Event event;
    Command command;
};
using Steps = std::vector<Step>;

} // namespace

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

class TestHoldMachine : public QObject {
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
        // 1.4 - 1.1 is 0.29999999999999982 in binary floating point.
        QTest::newRow("the minimum in floating point")
            << Steps{{down(1.1), start}, {up(1.4), stop}} << Phase::busy();
        QTest::newRow("millisecond stamps after days of uptime")
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
};

QTEST_GUILESS_MAIN(TestHoldMachine)
#include "tst_holdmachine.moc"
