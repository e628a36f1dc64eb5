// The desktop program as launched: from its start to its tray icon, then
// resident memory after 60 s idle and CPU over those 60 s (the permission
// poll included). The tray here is a StatusNotifierWatcher of the bench's
// own on the rig's session bus: Qt registers the icon with it the moment the
// icon is shown, which is the instant a panel would draw it.
//
//   scripts/rig.sh ./build-release/bench/bench_desktop [idle seconds] [starts]

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

// Just enough of the watcher for Qt to register its icon.
class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    explicit Watcher(QObject* parent)
        : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

    QElapsedTimer* clock = nullptr;
    qint64 registeredNs = -1;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) {
        if (registeredNs < 0)
            registeredNs = clock->nsecsElapsed();
        m_items.append(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString&);
    void StatusNotifierItemUnregistered(const QString&);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

// Resident set in MiB, from /proc.
double residentMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
    }
    return -1;
}

// User and system CPU time in seconds, from /proc.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold spaces: state is field 3.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

void wait(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const int starts = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString exe = qEnvironmentVariableIsEmpty("PARLOVA_EXE")
                            ? QStringLiteral(PARLOVA_EXE_PATH)
                            : qEnvironmentVariable("PARLOVA_EXE");

    QObject host;
    auto* watcher = new Watcher(&host);
    QElapsedTimer clock;
    watcher->clock = &clock;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &host) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "bus de session indisponible\n");
        return 1;
    }

    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       folder.filePath(QStringLiteral("config")));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));

    QList<double> toTray;
    QProcess parlova;
    parlova.setProcessEnvironment(environment);
    parlova.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    for (int run = 0; run < starts; ++run) {
        watcher->registeredNs = -1;
        clock.start();
        parlova.start(exe, {});
        while (watcher->registeredNs < 0 && clock.elapsed() < 10000 &&
               parlova.state() != QProcess::NotRunning)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (watcher->registeredNs < 0) {
            std::fprintf(stderr, "pas d'icône dans la zone de notification\n");
            return 1;
        }
        toTray.append(double(watcher->registeredNs) / 1e6);
        if (run + 1 < starts) {
            parlova.terminate();
            parlova.waitForFinished(5000);
            wait(200);
        }
    }

    // The last launch stays: a few seconds to settle, then the idle minute.
    wait(3000);
    const qint64 pid = parlova.processId();
    const double cpuBefore = cpuSeconds(pid);
    QElapsedTimer idle;
    idle.start();
    wait(idleSeconds * 1000);
    const double cpu = (cpuSeconds(pid) - cpuBefore) / (double(idle.elapsed()) / 1000) * 100;
    const double memory = residentMiB(pid);
    parlova.terminate();
    parlova.waitForFinished(5000);

    const double tray = median(toTray);
    std::printf("FIGURE|démarrage -> icône de notification|%.0f ms|< 300 ms|médiane de %d, min "
                "%.0f ms|%s\n",
                tray, starts, *std::min_element(toTray.begin(), toTray.end()),
                tray < 300 ? "OK" : "MANQUÉ");
    // Both units: 60 Mo read as decimal megabytes is 57.2 Mio.
    std::printf("FIGURE|mémoire résidente après %d s au repos|%.1f Mio|< 60 Mio|soit %.1f Mo "
                "décimaux|%s\n",
                idleSeconds, memory, memory * 1.048576, memory < 60 ? "OK" : "MANQUÉ");
    std::printf("FIGURE|CPU sur %d s au repos|%.3f %%|< 0,5 %% d’un cœur||%s\n", idleSeconds, cpu,
                cpu < 0.5 ? "OK" : "MANQUÉ");
    return 0;
}

#include "bench_desktop.moc"
