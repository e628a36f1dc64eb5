// From the key release to the text in the target window, the whole way
// under Xvfb: the real key monitor (the release is an XTest event), the
// real capture (a tone plays into the rig's null sink), the upload to the
// local relay (test engine, real AAC decoding, HTTPS) and the real paste
// into a Tk text window. The pill is a recording double: drawing it is not
// on this path. Prints the median over 20 dictations and where the time
// goes: the take's end (release seen, capture closed, file finished), the
// exchange with the relay, and the paste until the window has the text.
// With --wayland, the same on the rig's sway: Parlova on XWayland, the paste
// through the compositor into a native GTK window, the hold key scripted.
//
//   scripts/rig.sh ./build-release/bench/bench_dictation [--wayland] [dictations]

#include "DesktopWindows.h"
#include "RelayProcess.h"
#include "WaylandDesktop.h"
#include "app/DictationController.h"
#include "app/SystemClock.h"
#include "app/fake/RecordingPill.h"
#include "core/NetworkTransport.h"
#include "core/SingleInstance.h"
#include "core/fake/MemorySecretStore.h"
#include "platform/WindowPlatform.h"
#include "platform/fake/FakeKeyMonitor.h"
#include "platform/fake/FakePermissions.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>

using namespace parlova;

namespace {

QElapsedTimer stopwatch;

double now() {
    return double(stopwatch.nsecsElapsed()) / 1e6;
}

// Stamps when the upload leaves and when its answer is back.
class StampingTransport final : public core::RelayTransport {
public:
    double sentAt = 0, answeredAt = 0;

    QCoro::Task<core::RelayResult<Response>> send(Request request) override {
        const bool upload = request.url.path().endsWith(u"api/dicter");
        if (upload)
            sentAt = now();
        auto result = co_await m_network.send(std::move(request));
        if (upload)
            answeredAt = now();
        co_return result;
    }

private:
    core::NetworkTransport m_network;
};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char** argv) {
    const bool wayland = argc > 1 && qstrcmp(argv[1], "--wayland") == 0;
    if (wayland) {
        --argc;
        ++argv;
        if (!test::WaylandDesktop::useWaylandSession()) {
            std::fprintf(stderr, "pas de bureau Wayland : lancer par scripts/rig.sh\n");
            return 1;
        }
        platform::chooseWindowPlatform();
    }
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("PARLOVA_RELAIS"))
        qputenv("PARLOVA_RELAIS", PARLOVA_RELAIS_PATH);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    stopwatch.start();
    QTemporaryDir folder;

    test::RelayProcess relay;
    if (!relay.start()) {
        std::fprintf(stderr, "relais : %s\n", qPrintable(relay.errorString()));
        return 1;
    }
    const QString email = QStringLiteral("banc@example.fr");
    const QString token = relay.signIn(email);
    relay.adjustAccount({{QStringLiteral("email"), email}, {QStringLiteral("offre"), "pro"}});

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
    auto transport = std::make_shared<StampingTransport>();
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
    QCoro::waitFor(controller.start());
    if (!QTest::qWaitFor([&] { return controller.status().account().has_value(); }, 10000)) {
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

    double takeEnd = 0;
    QObject::connect(&controller, &app::DictationController::activityChanged, [&] {
        if (controller.activity() == app::DictationController::Activity::transcribing)
            takeEnd = now();
    });

    // Wayland: how long a press takes through sway's binding (`parlova
    // --maintenir`, run by the compositor) to reach the running program.
    QList<double> pressToReceipt, handOver;
    core::SingleInstance instance(test::WaylandDesktop::instanceSocket());
    if (wayland && instance.listen()) {
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
            (void)QTest::qWaitFor([&] { return pressToReceipt.size() > before; }, 5000);
            typist.waitForFinished(5000);
            QTest::qWait(200);
        }
    }

    QList<double> total, ending, exchange, pasting;
    QString expected;
    int missed = 0;
    for (int index = 0; index < count; ++index) {
        // Transcripts are trimmed on their way: words are compared without spaces.
        expected += QStringLiteral("mot%1").arg(index);
        relay.setNextTranscript(QStringLiteral("mot%1").arg(index));
        send(true);
        QTest::qWait(2500); // capture delivers nothing for about 1.5 s (see bench_capture)
        const double released = now();
        send(false);
        const bool arrived =
            QTest::qWaitFor([&] { return windowText().remove(u' ') == expected; }, 10000);
        const double shown = now();
        if (!arrived) {
            // Counted and reported; the window is then caught up for the next one.
            std::fprintf(stderr, "texte absent après la dictée %d : « %s » (pastille : %s)\n",
                         index, qPrintable(windowText()),
                         pill->shown() ? qPrintable(pill->shown()->text()) : "-");
            ++missed;
            expected = windowText().remove(u' ');
            QTest::qWait(1000);
            continue;
        }
        total.append(shown - released);
        ending.append(takeEnd - released);
        exchange.append(transport->answeredAt - transport->sentAt);
        pasting.append(shown - transport->answeredAt);
        QTest::qWait(1000); // the clipboard comes back before the next take
    }
    player.kill();
    player.waitForFinished();
    if (display != nullptr)
        XCloseDisplay(display);

    const double middle = median(total);
    std::printf("relâchement -> texte : fin de prise %.1f ms, échange avec le relais %.1f ms, "
                "collage jusqu'à la fenêtre %.1f ms (médianes sur %d)\n",
                median(ending), median(exchange), median(pasting), count);
    if (wayland)
        std::printf("FIGURE|appui -> événement reçu (liaison sway)|%.1f ms|—|"
                    "dont parlova --maintenir jusqu'au programme %.1f ms, %lld sur 10 reçus|\n",
                    median(pressToReceipt), median(handOver),
                    static_cast<long long>(pressToReceipt.size()));
    std::printf("FIGURE|relâchement -> texte dans la fenêtre (%s)|%.1f ms|< 100 ms|"
                "relais %.1f ms, collage %.1f ms, %d sur %d sans texte|%s\n",
                wayland ? "sway" : "Xvfb", middle, median(exchange), median(pasting), missed, count,
                middle < 100 && missed == 0 ? "OK" : "MANQUÉ");
    return 0;
}
