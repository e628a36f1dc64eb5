#include "core/HoldMachine.h"

#include <QTest>

#include <limits>

using parlova::core::HoldMachine;
using Command = HoldMachine::Command;
using Event = HoldMachine::Event;
using Phase = HoldMachine::Phase;

Q_DECLARE_METATYPE(HoldMachine::Command)
Q_DECLARE_METATYPE(HoldMachine::Event)
Q_DECLARE_METATYPE(HoldMachine::Phase)

namespace parlova::core {

// Readable failures: the command and phase that came out.
char* toString(HoldMachine::Command command) {
    const char* names[] = {"none", "startListening", "cancelListening", "stopAndTranscribe"};
    return qstrdup(names[static_cast<int>(command)]);
}

char* toString(const HoldMachine::Phase& phase) {
    const char* names[] = {"idle", "holding since ", "busy"};
    QByteArray text = names[static_cast<int>(phase.kind())];
    if (phase.kind() == HoldMachine::Phase::Kind::holding)
        text += QByteArray::number(phase.since(), 'g', 17);
    return qstrdup(text.constData());
}

} // namespace parlova::core

namespace {

// A machine that has accepted a take and handed it over for transcription.
HoldMachine busyMachine() {
    HoldMachine machine;
    machine.handle(Event::keyDown(1.0));
    machine.handle(Event::keyUp(2.0));
    return machine;
}

} // namespace

class TestHoldMachine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void freshMachineOnlyStartsOnPress_data();
    void freshMachineOnlyStartsOnPress();
    void releaseDecidesByHoldDuration_data();
    void releaseDecidesByHoldDuration();
    void repeatedPressMeasuresFromFirst();
    void busyIgnoresKeysUntilDone();
    void maximumEndsTakeAndLaterReleaseIsIgnored();
    void otherKeyCancelsOnlyDuringHold();
    void doneReturnsToIdleFromAnyPhase();
};

void TestHoldMachine::freshMachineOnlyStartsOnPress_data() {
    QTest::addColumn<Event>("event");
    QTest::addColumn<Command>("command");
    QTest::addColumn<Phase>("phase");

    QTest::newRow("release") << Event::keyUp(3.0) << Command::none << Phase::idle();
    QTest::newRow("other key") << Event::otherKeyPressed() << Command::none << Phase::idle();
    QTest::newRow("maximum") << Event::maximumReached() << Command::none << Phase::idle();
    QTest::newRow("done") << Event::done() << Command::none << Phase::idle();
    QTest::newRow("press") << Event::keyDown(3.0) << Command::startListening << Phase::holding(3.0);
}

void TestHoldMachine::freshMachineOnlyStartsOnPress() {
    QFETCH(Event, event);
    QFETCH(Command, command);
    QFETCH(Phase, phase);

    HoldMachine machine;
    QCOMPARE(machine.phase(), Phase::idle());
    QCOMPARE(machine.handle(event), command);
    QCOMPARE(machine.phase(), phase);
}

void TestHoldMachine::releaseDecidesByHoldDuration_data() {
    QTest::addColumn<double>("pressedAt");
    QTest::addColumn<double>("releasedAt");
    QTest::addColumn<Command>("command");

    const auto take = Command::stopAndTranscribe;
    const auto tap = Command::cancelListening;
    QTest::newRow("exactly the minimum") << 10.0 << 10.3 << take;
    QTest::newRow("exactly the minimum, difference exact in binary") << 0.2 << 0.5 << take;
    // 1.4 - 1.1 is 0.29999999999999982 in binary floating point.
    QTest::newRow("exactly the minimum, inexact stamps") << 1.1 << 1.4 << take;
    QTest::newRow("exactly the minimum, millisecond stamps after days of uptime")
        << 345678.912 << 345679.212 << take;
    QTest::newRow("a hundredth short") << 10.0 << 10.29 << tap;
    QTest::newRow("a microsecond short") << 10.0 << 10.299999 << tap;
    QTest::newRow("long hold") << 10.0 << 75.5 << take;
    QTest::newRow("beyond the maximum") << 0.0 << HoldMachine::maximumHold + 5.0 << take;
    QTest::newRow("released at the press instant") << 10.0 << 10.0 << tap;
    QTest::newRow("released before the press") << 10.0 << 9.0 << tap;
    QTest::newRow("release stamp not a number")
        << 10.0 << std::numeric_limits<double>::quiet_NaN() << tap;
}

void TestHoldMachine::releaseDecidesByHoldDuration() {
    QFETCH(double, pressedAt);
    QFETCH(double, releasedAt);
    QFETCH(Command, command);

    HoldMachine machine;
    QCOMPARE(machine.handle(Event::keyDown(pressedAt)), Command::startListening);
    QCOMPARE(machine.handle(Event::keyUp(releasedAt)), command);
    QCOMPARE(machine.phase(),
             command == Command::stopAndTranscribe ? Phase::busy() : Phase::idle());

    // A dropped tap leaves the machine ready for the next press at once.
    if (command == Command::cancelListening)
        QCOMPARE(machine.handle(Event::keyDown(pressedAt + 1.0)), Command::startListening);
}

void TestHoldMachine::repeatedPressMeasuresFromFirst() {
    HoldMachine tapped;
    QCOMPARE(tapped.handle(Event::keyDown(5.0)), Command::startListening);
    QCOMPARE(tapped.handle(Event::keyDown(6.0)), Command::none);
    QCOMPARE(tapped.handle(Event::keyUp(5.2)), Command::cancelListening);

    // Measured from the second press this would be a 0.15 s tap.
    HoldMachine held;
    held.handle(Event::keyDown(5.0));
    QCOMPARE(held.handle(Event::keyDown(5.2)), Command::none);
    QCOMPARE(held.phase(), Phase::holding(5.0));
    QCOMPARE(held.handle(Event::keyUp(5.35)), Command::stopAndTranscribe);
}

void TestHoldMachine::busyIgnoresKeysUntilDone() {
    HoldMachine machine = busyMachine();
    QCOMPARE(machine.phase(), Phase::busy());

    // Pressing during a transcription neither starts nor queues a take.
    for (const Event& event :
         {Event::keyDown(3.0), Event::keyUp(4.0), Event::keyDown(5.0), Event::otherKeyPressed(),
          Event::maximumReached(), Event::keyUp(9.0)}) {
        QCOMPARE(machine.handle(event), Command::none);
        QCOMPARE(machine.phase(), Phase::busy());
    }

    QCOMPARE(machine.handle(Event::done()), Command::none);
    QCOMPARE(machine.phase(), Phase::idle());
    QCOMPARE(machine.handle(Event::keyUp(10.0)), Command::none);
    QCOMPARE(machine.handle(Event::keyDown(11.0)), Command::startListening);
}

void TestHoldMachine::maximumEndsTakeAndLaterReleaseIsIgnored() {
    HoldMachine machine;
    machine.handle(Event::keyDown(100.0));
    QCOMPARE(machine.handle(Event::maximumReached()), Command::stopAndTranscribe);
    QCOMPARE(machine.phase(), Phase::busy());
    QCOMPARE(machine.handle(Event::keyUp(100.0 + HoldMachine::maximumHold + 1.0)), Command::none);
    QCOMPARE(machine.phase(), Phase::busy());

    // The release may also arrive once the dictation is already over.
    machine.handle(Event::done());
    QCOMPARE(machine.handle(Event::keyUp(230.0)), Command::none);
    QCOMPARE(machine.phase(), Phase::idle());
}

void TestHoldMachine::otherKeyCancelsOnlyDuringHold() {
    HoldMachine machine;
    machine.handle(Event::keyDown(1.0));
    QCOMPARE(machine.handle(Event::otherKeyPressed()), Command::cancelListening);
    QCOMPARE(machine.phase(), Phase::idle());
    // The hold key's own release, long after, must not turn into a dictation.
    QCOMPARE(machine.handle(Event::keyUp(3.0)), Command::none);
    QCOMPARE(machine.phase(), Phase::idle());

    HoldMachine busy = busyMachine();
    QCOMPARE(busy.handle(Event::otherKeyPressed()), Command::none);
    QCOMPARE(busy.phase(), Phase::busy());
}

void TestHoldMachine::doneReturnsToIdleFromAnyPhase() {
    // The controller refuses a take (signed out, no microphone) by answering done.
    HoldMachine refused;
    QCOMPARE(refused.handle(Event::keyDown(1.0)), Command::startListening);
    QCOMPARE(refused.handle(Event::done()), Command::none);
    QCOMPARE(refused.phase(), Phase::idle());
    QCOMPARE(refused.handle(Event::keyUp(2.0)), Command::none);
    QCOMPARE(refused.phase(), Phase::idle());

    HoldMachine idle;
    QCOMPARE(idle.handle(Event::done()), Command::none);
    QCOMPARE(idle.phase(), Phase::idle());
}

QTEST_GUILESS_MAIN(TestHoldMachine)
#include "tst_holdmachine.moc"
