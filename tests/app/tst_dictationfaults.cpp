// Dictations through the controller against a real local relay (test
// engine, real AAC decoding, HTTPS): the relay's faults, scripted on its
// control route, each end in the right message and state with no take left
// and dictation working afterwards; then a long run in a row that must not
// grow in files, threads or memory and delivers every transcript in order.

#include "ControllerDesk.h"
#include "PrivateSessionBus.h"
#include "RelayProcess.h"
#include "core/relayclient/NetworkTransport.h"
#include "platform/Keychain.h"
#include "platform/fake/FakeRecorder.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QTest>

#include <functional>

using namespace parlova;
using namespace parlova::app;
using namespace Qt::StringLiterals;
using parlova::test::RelayProcess;
using Failure = core::RelayFailure;

namespace {

// The network transport with every time-out capped, so that "slower than
// the time-out" takes a second, not the 45 s of a real dictation.
class ShortTimeouts final : public core::RelayTransport {
public:
    QCoro::Task<core::RelayResult<Response>> send(Request request) override {
        request.timeout = std::min(request.timeout, std::chrono::milliseconds(1500));
        co_return co_await m_network.send(std::move(request));
    }

private:
    core::NetworkTransport m_network;
};

// One line of /proc/self/status as a number ("Threads", "VmRSS" in KiB).
qint64 selfStatus(const QByteArray& name) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

qint64 openFiles() {
    return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
}

const QString email = u"endurance@example.fr"_s;

// A 440 Hz tone in 16 kHz mono, encoded as the file name's extension says
// (AAC for .m4a, as the program encodes its takes).
bool writeTone(const QString& path, double seconds) {
    return QProcess::execute(u"ffmpeg"_s, {u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                                           u"sine=frequency=440:duration=%1"_s.arg(seconds),
                                           u"-ar"_s, u"16000"_s, u"-ac"_s, u"1"_s, path}) == 0;
}

// The desk of a user: the controller with scripted keys and paste, the
// in-memory keychain and a recorder that hands over a tone, unless the test
// brings the real keychain or the real microphone.
struct Desk : test::ControllerDesk {
    RelayProcess relay;
    double at = 10;

    using ControllerDesk::ControllerDesk;
    // The controller goes before the relay it talks to.
    ~Desk() { controller.reset(); }

    bool start(bool realMicrophone = false) {
        if (!relay.start())
            return false;
        settings->setValue(u"relayURL"_s, relay.origin().toString());
        settings->setValue(u"relayCertificate"_s, relay.authorityCertificatePath());
        const QString token = relay.signIn(email);
        if (token.isEmpty() || core::KeychainItem::session().store(secrets, token) != 0)
            return false;
        relay.adjustAccount({{"email", email}, {"offre", "pro"}});
        platform::Recorder* recorder = nullptr;
        if (realMicrophone) {
            recorder = new platform::QtAudioRecorder(takeFolder());
        } else {
            // Half a second of tone, encoded as the program encodes its takes.
            const QString tone = dir.filePath(u"ton.m4a"_s);
            if (!writeTone(tone, 0.5))
                return false;
            QFile file(tone);
            if (!file.open(QIODevice::ReadOnly))
                return false;
            auto* fake = new platform::FakeRecorder(takeFolder());
            fake->setTakeContent(file.readAll());
            recorder = fake;
        }
        startWith(recorder, std::make_shared<ShortTimeouts>());
        return QTest::qWaitFor([&] { return controller->status().account().has_value(); }, 10000);
    }

    // One hold of a second on the fake clock (`heldMs` of real time, with
    // `during` done in it); true once the controller is ready again.
    bool dictate(int heldMs = 0, const std::function<void()>& during = {}) {
        keys->press(at);
        if (heldMs > 0)
            QTest::qWait(heldMs);
        if (during)
            during();
        keys->release(at + 1);
        at += 2;
        return QTest::qWaitFor(
            [&] { return controller->activity() == DictationController::Activity::ready; }, 15000);
    }

    // Signed in again with the code the relay mails.
    bool signInAgain() {
        return core::waitFor(controller->session().requestCode(email, {})).ok() &&
               core::waitFor(controller->session().signIn(email, relay.lastCode(email), {})).ok();
    }
    QString pillText() const { return pill->shown() ? pill->shown()->text() : QString(); }
};

} // namespace

class DictationFaultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PARLOVA_RIG"))
            QSKIP("needs the test rig (scripts/rig.sh)");
    }

    void faults() {
        Desk desk;
        QVERIFY2(desk.start(), qPrintable(desk.relay.errorString()));

        using Answer = RelayProcess::ScriptedAnswer;
        struct Fault {
            const char* name;
            std::function<void(Answer&)> script; // the upload's answer
            Failure failure;
            bool signedOut = false;
        };
        const std::vector<Fault> faults = {
            {"answer slower than the time-out", [](Answer& a) { a.delayMs = 4000; },
             Failure::timedOut()},
            {"connection dropped",
             [](Answer& a) {
                 a.drop = true;
                 a.times = 4;
             },
             Failure::offline()},
            {"401 in the middle of the session",
             [](Answer& a) {
                 a.status = 401;
                 a.body = {{"erreur", "session"}};
             },
             Failure::signedOut(), true},
        };

        for (const Fault& fault : faults) {
            const char* name = fault.name;
            Answer answer(u"api/dicter"_s);
            fault.script(answer);
            QVERIFY(desk.relay.scriptNextAnswer(answer));
            QVERIFY2(desk.dictate(), name);
            QCOMPARE(desk.pillText(), core::DictationFailure::relay(fault.failure).message());
            QCOMPARE(desk.controller->status().signedIn(), !fault.signedOut);
            QVERIFY2(desk.takesLeft() == 0, name);

            // Back to normal: a session, a transcript.
            desk.relay.clearScriptedAnswers();
            if (fault.signedOut)
                QVERIFY2(desk.signInAgain(), name);
            QVERIFY(desk.relay.setNextTranscript(u"Après la panne"_s));
            const qsizetype before = desk.inserter->texts().size();
            QVERIFY2(desk.dictate(), name);
            QCOMPARE(desk.inserter->texts().size(), before + 1);
            QCOMPARE(desk.inserter->texts().last(), u"Après la panne"_s);
            QVERIFY(desk.takesLeft() == 0);
        }
    }

    // The keychain's daemon dies in the middle of a session: the token held
    // in memory keeps dictation going, and signing out and in again still
    // works (the new token cannot be kept, which only shows at the next start).
    void secretServiceGoesAway() {
        test::PrivateSessionBus bus;
        QVERIFY(bus.startKeyring());
        // Before anything in this process reaches for the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
        Desk desk(&platform::Keychain::system());
        QVERIFY2(desk.start(), qPrintable(desk.relay.errorString()));
        bus.killKeyring();

        for (const QString& text : {u"Sans trousseau"_s, u"Reconnecté sans trousseau"_s}) {
            if (!desk.controller->status().signedIn())
                QVERIFY(desk.signInAgain());
            QVERIFY(desk.relay.setNextTranscript(text));
            QVERIFY(desk.dictate());
            QCOMPARE(desk.inserter->texts().last(), text);
            QVERIFY(desk.pillText().isEmpty());
            desk.controller->session().signOut();
            QTRY_VERIFY(!desk.controller->status().signedIn());
        }
        QCOMPARE(desk.takesLeft(), 0);
    }

    // The microphone goes away during a take (its source removed from the
    // sound server): what was heard before is still transcribed, the next
    // press says the microphone cannot start, and dictation comes back with it.
    void microphoneUnplugged() {
        Desk desk;
        QVERIFY2(desk.start(true), qPrintable(desk.relay.errorString()));
        const QString toneFile = desk.dir.filePath(u"ton.wav"_s);
        QVERIFY(writeTone(toneFile, 60));
        // Killed with the test, whatever way it ends.
        QProcess tone;
        tone.start(u"paplay"_s, {u"--latency-msec=20"_s, toneFile});
        QTest::qWait(2500); // the null sink leaves its long start-up blocks
        const auto sound = [](const QString& command) {
            return QProcess::execute(u"sh"_s, {u"-c"_s, command}) == 0;
        };

        QVERIFY(desk.relay.setNextTranscript(u"Avant le débranchement"_s));
        QVERIFY(desk.dictate(600, [&] {
            QVERIFY(sound(u"pactl unload-module $(pactl list short modules | "
                          "awk '/module-remap-source/ {print $1}')"_s));
        }));
        QCOMPARE(desk.inserter->texts(), QStringList{u"Avant le débranchement"_s});
        QVERIFY(desk.pillText().isEmpty());

        QVERIFY(desk.dictate(300));
        QCOMPARE(desk.pillText(), core::DictationFailure::recordingFailed().message());
        QCOMPARE(desk.inserter->texts().size(), 1);

        QVERIFY(sound(
            u"pactl load-module module-remap-source master=parlova_sortie.monitor "
            "source_name=parlova_micro >/dev/null && pactl set-default-source parlova_micro"_s));
        QVERIFY(desk.relay.setNextTranscript(u"Rebranché"_s));
        QTRY_VERIFY(!QMediaDevices::defaultAudioInput().isNull());
        QVERIFY(desk.dictate(600));
        QCOMPARE(desk.pillText(), QString());
        QCOMPARE(desk.inserter->texts().last(), u"Rebranché"_s);
        QCOMPARE(desk.takesLeft(), 0);
        tone.kill();
        tone.waitForFinished();
    }

    void soak() {
        // A sanitizer build is several times slower: fewer rounds keep it
        // within the test function's time-out on a loaded machine.
#if defined(__SANITIZE_ADDRESS__)
        constexpr int rounds = 150;
#else
        constexpr int rounds = 500;
#endif
        const int soak = qEnvironmentVariableIntValue("PARLOVA_SOAK");
        const int count = soak > 0 ? soak : rounds;
        Desk desk;
        QVERIFY2(desk.start(), qPrintable(desk.relay.errorString()));
        const int warmUp = std::min(50, count / 2);
        qint64 files = 0, threads = 0, memory = 0;
        QStringList expected;
        for (int index = 0; index < count; ++index) {
            if (index == warmUp) {
                files = openFiles();
                threads = selfStatus("Threads");
                memory = selfStatus("VmRSS");
            }
            expected.append(u"Dictée numéro %1."_s.arg(index));
            QVERIFY(desk.relay.setNextTranscript(expected.last()));
            QVERIFY2(desk.dictate(), qPrintable(expected.last()));
            QVERIFY2(desk.pillText().isEmpty(), qPrintable(desk.pillText()));
        }
        QCOMPARE(desk.inserter->texts(), expected);
        QCOMPARE(desk.takesLeft(), 0);
        const qint64 grownKiB = selfStatus("VmRSS") - memory;
        qInfo("%d dictations: %lld files, %lld threads, %+lld KiB resident since the %dth", count,
              openFiles(), selfStatus("Threads"), grownKiB, warmUp);
        QVERIFY(openFiles() <= files + 4);
        QVERIFY(selfStatus("Threads") <= threads + 2);
        // AddressSanitizer keeps freed memory in quarantine (its default
        // quarantine alone is 256 MiB): resident memory then says nothing.
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY(grownKiB < 16 * 1024);
#endif
    }
};

QTEST_MAIN(DictationFaultsTest)
#include "tst_dictationfaults.moc"
