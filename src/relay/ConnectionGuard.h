#pragma once

#include <QString>

#include <map>
#include <mutex>

namespace parlova::relay {

// How many connections the relay holds open: at most so many per address
// and so many in all. A connection is counted from its acceptance, before
// its TLS handshake, so that a refused one costs nothing but its socket.
class ConnectionGuard {
public:
    ConnectionGuard(int connectionsPerAddress, int connections);

    // A connection from this address asks in: false when its address or the
    // relay already holds the maximum, or the relay is stopping.
    bool opened(const QString& address);
    void closed(const QString& address);
    // Three quarters of the connections are in use: idle ones should make room.
    bool crowded() const;
    // Refuses every new connection from now on.
    void stop();

private:
    const int m_perAddress;
    const int m_total;
    mutable std::mutex m_mutex;
    std::map<QString, int> m_perAddressCount;
    int m_count = 0;
    bool m_stopping = false;
};

} // namespace parlova::relay
