// From the key release to the text in the target window, the whole way
// under Xvfb: the real key monitor (the release is an XTest event), the
// real capture (a tone plays into the rig's null sink), the upload to the
// local relay (test engine, real AAC decoding, HTTPS) and the real paste
// into a Tk text window. The pill is a recording double: drawing it is not
// on this path. Prints, over 20 dictations, the median and p95 of release to
// text and of each stage the program notes on its way (take closed, request
// handed over, first byte of the answer, answer decoded, clipboard set,
// paste keys sent), beside the relay's own duration for the same requests
// from its access log. The bench never sleeps: every wait turns the event
// loop, so that the program is as free to answer as in real use.
// With --wayland, the same on the rig's sway: Parlova on XWayland, the paste
// through the compositor into a native GTK window, the hold key scripted.
// With --ecart S, S seconds pass between one text and the next press (1 by
// default): at 10 the relay has closed the idle connection in between. With
// --prise S the key is held S seconds (2.5 by default): a long take's body
// takes several writes, which is where a delayed acknowledgement shows.
//
//   scripts/rig.sh ./build-release/bench/bench_dictation [--wayland] [--ecart S] [--prise S]
//       [dictations]

#include "DesktopWindows.h"
#include "RelayProcess.h"
#include "WaylandDesktop.h"
#include "app/controllers/DictationController.h"
#include "app/controllers/SystemClock.h"
#include "app/fake/RecordingPill.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"
#include "core/program/SingleInstance.h"
#include "core/relayclient/NetworkTransport.h"
#include "platform/WindowPlatform.h"
#include "platform/fake/FakeKeyMonitor.h"
#include "platform/fake/FakePermissions.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace parlova;
using namespace Qt::StringLiterals;
using Stage = core::DictationTimeline::Stage;

namespace {

QElapsedTimer stopwatch;

double now() {
    return double(stopwatch.nsecsElapsed()) / 1e6;
}

// Turns the event loop until the predicate holds or the time is out,
// looking every millisecond; unlike QTest::qWaitFor it never sleeps with
// events pending, which would delay the paste it is measuring.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs) {
    if (predicate())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (predicate())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return predicate();
}

void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(QList<double> values, double share) {
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<qsizetype>(std::ceil(share * double(values.size())));
    return values.at(std::clamp<qsizetype>(rank - 1, 0, values.size() - 1));
}

double median(const QList<double>& values) {
    return percentile(values, 0.5);
}

// The relay's own duration of each dictation request, from its access log.
QList<double> relayDurations(const QString& log) {
    static const QRegularExpression line(u"POST /api/dicter 200 en ([0-9.]+) ms"_s);
    QList<double> durations;
    for (auto match = line.globalMatch(log); match.hasNext();)
        durations.append(match.next().captured(1).toDouble());
    return durations;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    const bool wayland = arguments.removeAll(u"--wayland"_s) > 0;
    const auto option = [&arguments](const QString& name, double fallback) {
        const qsizetype at = arguments.indexOf(name);
        if (at < 0 || at + 1 >= arguments.size())
            return fallback;
        const double value = std::max(0.0, arguments.at(at + 1).toDouble());
        arguments.remove(at, 2);
        return value;
    };
    const int gapSeconds = int(option(u"--ecart"_s, 1));
    const double holdSeconds = option(u"--prise"_s, 2.5);
    if (wayland) {
        if (!test::WaylandDesktop::useWaylandSession()) {
            std::fprintf(stderr, "pas de bureau Wayland : lancer par scripts/rig.sh\n");
            return 1;
        }
        platform::chooseWindowPlatform();
    }
    argc = 1;
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("PARLOVA_RELAIS"))
        qputenv("PARLOVA_RELAIS", PARLOVA_RELAIS_PATH);
    const int count = arguments.isEmpty() ? 20 : std::max(1, arguments.first().toInt());
    stopwatch.start();
    QTemporaryDir folder;

    test::RelayProcess relay;
    if (!relay.start()) {
        std::fprintf(stderr, "relais : %s\n", qPrintable(relay.errorString()));
        return 1;
    }
    const QString email = QStringLiteral("banc@example.fr");
    const QString token = relay.signIn(email);
    relay.adjustAccount({{QStringLiteral("email"), email}, {QStringLiteral("offre"), "offert"}});

    const QString tone = QDir(folder.path()).filePath(QStringLiteral("ton.wav"));
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:sample_rate=48000:duration=300"), tone});
    QProcess player;
    player.start(QStringLiteral("paplay"), {tone});

    core::MemorySecretStore secrets;
    const auto item = core::KeychainItem::session();
    secrets.put(item.service(), item.account(), item.label(), token.toUtf8());
    core::AsyncKeychain keychain(secrets);
    auto settings = std::make_shared<QSettings>(
        QDir(folder.path()).filePath(QStringLiteral("p.conf")), QSettings::IniFormat);
    settings->setValue(QStringLiteral("relayURL"), relay.origin().toString());
    settings->setValue(QStringLiteral("relayCertificate"), relay.authorityCertificatePath());
    app::SystemClock clock;
    auto transport = std::make_shared<core::NetworkTransport>();
    auto* pill = new app::RecordingPill;
    auto* scriptedKeys = wayland ? new platform::FakeKeyMonitor : nullptr;
    app::DictationController controller(
        {std::unique_ptr<platform::KeyMonitor>(wayland ? scriptedKeys
                                                       : platform::createKeyMonitor(nullptr)),
         std::make_unique<platform::QtAudioRecorder>(folder.path()),
         std::unique_ptr<platform::TextInserter>(platform::createTextInserter(nullptr)),
         std::unique_ptr<platform::Permissions>(wayland ? new platform::FakePermissions
                                                        : platform::createPermissions(nullptr)),
         std::unique_ptr<app::Pill>(pill)},
        core::SettingsStore(settings), keychain, clock, transport);
    core::waitFor(controller.start());
    if (!waitUntil([&] { return controller.status().account().has_value(); }, 10000)) {
        std::fprintf(stderr, "pas de compte\n");
        return 1;
    }

    test::TextWindow x11Window;
    test::WaylandTextWindow waylandWindow(test::WaylandTextWindow::Kind::gtk);
    if (!(wayland ? waylandWindow.open() : x11Window.open())) {
        std::fprintf(stderr, "fenêtre de texte introuvable\n");
        return 1;
    }
    const auto windowText = [&] {
        return wayland ? waylandWindow.text() : x11Window.text();
    };
    Display* display = wayland ? nullptr : XOpenDisplay(nullptr);
    const KeyCode key = wayland ? 0 : XKeysymToKeycode(display, XK_Control_R);
    const auto send = [&](bool down) {
        if (wayland) {
            down ? scriptedKeys->press(clock.monotonic())
                 : scriptedKeys->release(clock.monotonic());
            return;
        }
        XTestFakeKeyEvent(display, key, down ? True : False, CurrentTime);
        XFlush(display);
    };

    // Wayland: how long a press takes through sway's binding (`parlova
    // --maintenir`, run by the compositor) to reach the running program.
    QList<double> pressToReceipt, handOver;
    core::SingleInstance instance(test::WaylandDesktop::instanceSocket());
    if (wayland && instance.listen().ok()) {
        test::WaylandDesktop::openToDesktopUser(test::WaylandDesktop::instanceSocket());
        double pressed = 0;
        QObject::connect(&instance, &core::SingleInstance::holdKeyHandedOver,
                         [&](bool down, double at) {
                             if (!down)
                                 return;
                             pressToReceipt.append(now() - pressed);
                             handOver.append((core::SingleInstance::monotonicNow() - at) * 1000);
                         });
        for (int tap = 0; tap < 10; ++tap) {
            QProcess typist;
            pressed = now();
            test::WaylandDesktop::holdKey(typist, 50);
            const qsizetype before = pressToReceipt.size();
            (void)waitUntil([&] { return pressToReceipt.size() > before; }, 5000);
            typist.waitForFinished(5000);
            pause(200);
        }
    }

    // The stages after the release, as the program noted them.
    const QList<Stage> stages{Stage::takeClosed,    Stage::handedToNetwork, Stage::firstByte,
                              Stage::answerDecoded, Stage::clipboardSet,    Stage::pasteSent};
    QList<QList<double>> atStage(stages.size());
    QList<double> total;
    QString expected;
    int missed = 0;
    for (int index = 0; index < count; ++index) {
        // Transcripts are trimmed on their way: words are compared without spaces.
        expected += QStringLiteral("mot%1").arg(index);
        relay.setNextTranscript(QStringLiteral("mot%1").arg(index));
        send(true);
        // Capture delivers nothing for about 1.5 s (see bench_capture).
        pause(int(std::max(holdSeconds, 2.0) * 1000));
        const double released = now();
        send(false);
        const bool arrived =
            waitUntil([&] { return windowText().remove(u' ') == expected; }, 10000);
        const double shown = now();
        // The clipboard comes back before the next take.
        (void)waitUntil(
            [&] { return controller.activity() == app::DictationController::Activity::ready; },
            5000);
        if (!arrived) {
            // Counted and reported; the window is then caught up for the next one.
            std::fprintf(stderr, "texte absent après la dictée %d : « %s » (pastille : %s)\n",
                         index, qPrintable(windowText()),
                         pill->shown() ? qPrintable(pill->shown()->text()) : "-");
            ++missed;
            expected = windowText().remove(u' ');
            pause(1000);
            continue;
        }
        total.append(shown - released);
        if (const auto timeline = controller.lastTimeline()) {
            for (qsizetype stage = 0; stage < stages.size(); ++stage)
                atStage[stage].append(timeline->sinceRelease(stages.at(stage)).value_or(0.0));
        }
        pause(gapSeconds * 1000);
    }
    player.kill();
    player.waitForFinished();
    if (display != nullptr)
        XCloseDisplay(display);

    const QList<double> relayOwn = relayDurations(relay.log());
    QString where = wayland ? u"sway"_s : u"Xvfb"_s;
    if (gapSeconds != 1)
        where += u", %1 s entre dictées"_s.arg(gapSeconds);
    if (holdSeconds != 2.5)
        where += u", prises de %1 s"_s.arg(holdSeconds);
    std::printf("étapes depuis le relâchement (%s), médiane / p95 sur %lld :\n", qPrintable(where),
                static_cast<long long>(total.size()));
    // Padded as text: printf would count the bytes of "é".
    const auto row = [](const QString& name, const QList<double>& values, const QString& note) {
        std::printf("  %s %6.1f / %6.1f ms%s\n", qPrintable(name.leftJustified(30)), median(values),
                    percentile(values, 0.95), qPrintable(note));
    };
    for (qsizetype stage = 0; stage < stages.size(); ++stage)
        row(core::DictationTimeline::name(stages.at(stage)), atStage.at(stage), {});
    row(u"texte dans la fenêtre"_s, total, {});
    row(u"durée au relais (son journal)"_s, relayOwn, u" (%1 requêtes)"_s.arg(relayOwn.size()));
    if (wayland)
        std::printf("FIGURE|appui -> événement reçu (liaison sway)|%.1f ms|—|"
                    "dont parlova --maintenir jusqu'au programme %.1f ms, %lld sur 10 reçus|\n",
                    median(pressToReceipt), median(handOver),
                    static_cast<long long>(pressToReceipt.size()));
    const double middle = median(total);
    const double high = percentile(total, 0.95);
    std::printf("FIGURE|relâchement -> texte dans la fenêtre (%s)|%.1f ms (p95 %.1f)|"
                "< 40 ms (p95 < 60)|relais %.1f ms à lui seul, %d sur %d sans texte|%s\n",
                qPrintable(where), middle, high, median(relayOwn), missed, count,
                middle < 40 && high < 60 && missed == 0 ? "OK" : "MANQUÉ");
    return 0;
}
