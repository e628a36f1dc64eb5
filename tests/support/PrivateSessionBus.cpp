#include "PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace parlova::test {

PrivateSessionBus::PrivateSessionBus() {
    const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (daemon.isEmpty() || !m_folder.isValid())
        return;
    // No service files: nothing starts by itself on this bus.
    QFile config(m_folder.filePath(u"bus.conf"_s));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write("<!DOCTYPE busconfig PUBLIC"
                 " \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type>"
                 "<listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                 "<policy context=\"default\">"
                 "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                 "<allow eavesdrop=\"true\"/>"
                 "<allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    m_bus.start(daemon,
                {u"--config-file="_s + config.fileName(), u"--nofork"_s, u"--print-address=1"_s});
    if (m_bus.waitForStarted() && QTest::qWaitFor([this] { return m_bus.canReadLine(); }, 5000))
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus() {
    killKeyring();
    m_bus.kill();
    m_bus.waitForFinished();
}

QDBusConnection PrivateSessionBus::connect(const QString& who) {
    return QDBusConnection::connectToBus(m_address, who + QString::number(++m_connections));
}

bool PrivateSessionBus::startKeyring() {
    if (m_address.isEmpty())
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_address);
    // Its own keyrings folder (which must exist, or it asks for a graphical
    // prompt) and its own control socket.
    environment.insert(u"XDG_DATA_HOME"_s, m_folder.filePath(u"data"_s));
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_folder.path());
    QDir(m_folder.path()).mkpath(u"data/keyrings"_s);
    m_keyring.setProcessEnvironment(environment);
    m_keyring.start(u"gnome-keyring-daemon"_s,
                    {u"--foreground"_s, u"--unlock"_s, u"--components=secrets"_s});
    if (!m_keyring.waitForStarted())
        return false;
    m_keyring.write("parlova-test");
    m_keyring.closeWriteChannel();
    QDBusConnection bus = connect(u"trousseau"_s);
    return QTest::qWaitFor(
        [&] { return bus.interface()->isServiceRegistered(u"org.freedesktop.secrets"_s).value(); },
        10000);
}

void PrivateSessionBus::killKeyring() {
    if (m_keyring.state() == QProcess::NotRunning)
        return;
    m_keyring.kill();
    m_keyring.waitForFinished();
}

} // namespace parlova::test
