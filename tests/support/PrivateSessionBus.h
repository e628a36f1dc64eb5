#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace parlova::test {

// A session bus of the test's own, with nothing that can be activated on it,
// and, on request, a Secret Service (gnome-keyring, unlocked) that the test
// can take away again. GLib keeps the first bus it connects to for the life
// of the process: point DBUS_SESSION_BUS_ADDRESS at address() before
// anything uses the keychain.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();

    // Empty when the bus did not start.
    QString address() const { return m_address; }
    // A new connection to the bus, as another process would have: the
    // program and the portal it talks to each need their own.
    QDBusConnection connect(const QString& who);

    // True once the Secret Service answers on the bus.
    bool startKeyring();
    // The Secret Service dies, as when its daemon crashes.
    void killKeyring();

private:
    QTemporaryDir m_folder;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
    int m_connections = 0;
};

} // namespace parlova::test
