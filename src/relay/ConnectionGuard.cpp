#include "relay/ConnectionGuard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace parlova::relay {

ConnectionGuard::ConnectionGuard(std::chrono::milliseconds requestDeadline,
                                 int connectionsPerAddress)
    : m_requestDeadline(requestDeadline)
    , m_perAddress(connectionsPerAddress)
    , m_watcher([this] { watch(); }) {}

ConnectionGuard::~ConnectionGuard() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_watcher.join();
}

QString ConnectionGuard::peerAddress(int socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return QStringLiteral("?");
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
    return QString::fromLatin1(text);
}

bool ConnectionGuard::opened(const void* key, int socket) {
    const QString address = peerAddress(socket);
    const std::lock_guard lock(m_mutex);
    int& count = m_perAddressCount[address];
    if (m_stopping || count >= m_perAddress) {
        if (count == 0)
            m_perAddressCount.erase(address);
        ::shutdown(socket, SHUT_RDWR);
        return false;
    }
    ++count;
    m_connections[key] = {socket, address, Clock::now() + m_requestDeadline, true, false};
    return true;
}

void ConnectionGuard::closed(const void* key) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_connections.find(key);
    if (found == m_connections.end())
        return;
    const auto count = m_perAddressCount.find(found->second.address);
    if (count != m_perAddressCount.end() && --count->second <= 0)
        m_perAddressCount.erase(count);
    m_connections.erase(found);
}

void ConnectionGuard::working(const void* key) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_connections.find(key);
    if (found != m_connections.end())
        found->second.reading = false;
}

void ConnectionGuard::answered(const void* key) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_connections.find(key);
    if (found != m_connections.end()) {
        found->second.reading = true;
        found->second.deadline = Clock::now() + m_requestDeadline;
    }
}

void ConnectionGuard::stop() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    for (auto& [key, connection] : m_connections) {
        ::shutdown(connection.socket, SHUT_RDWR);
        connection.cut = true;
    }
}

void ConnectionGuard::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        m_wake.wait_for(lock, std::chrono::milliseconds(200));
        const auto now = Clock::now();
        // The socket is shut down under the lock: closed() runs before the
        // library closes it, so the number cannot belong to another client yet.
        for (auto& [key, connection] : m_connections) {
            if (connection.reading && !connection.cut && connection.deadline <= now) {
                ::shutdown(connection.socket, SHUT_RDWR);
                connection.cut = true;
            }
        }
    }
}

} // namespace parlova::relay
