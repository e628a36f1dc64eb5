#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <vector>

namespace parlova::test {

class RelayProcess;

// nginx in front of a relay, as docs/relais.md sets it up for the open
// internet: it keeps its upstream connections to the relay alive and
// reuses them for other clients, which is where a request hidden in a body
// would reach the relay as somebody else's. It listens on plain HTTP on
// 127.0.0.1 (the TLS that matters here is the upstream one). In front of
// several processes of one relay it takes them in turn, and leaves one
// that stopped answering aside.
class NginxFront {
public:
    NginxFront() = default;
    ~NginxFront();
    NginxFront(const NginxFront&) = delete;
    NginxFront& operator=(const NginxFront&) = delete;

    // False when nginx is not installed or did not start (errorString()).
    bool start(const RelayProcess& relay);
    bool start(const std::vector<const RelayProcess*>& relays);
    int port() const { return m_port; }
    // One request on a connection of its own: everything nginx answered
    // until it closed the connection.
    QByteArray exchange(const QByteArray& request, int ms = 3000) const;
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace parlova::test
