#include "relay/ConnectionGuard.h"

namespace parlova::relay {

ConnectionGuard::ConnectionGuard(int connectionsPerAddress, int connections)
    : m_perAddress(connectionsPerAddress)
    , m_total(connections) {}

bool ConnectionGuard::opened(const QString& address) {
    const std::lock_guard lock(m_mutex);
    if (m_stopping || m_count >= m_total)
        return false;
    int& count = m_perAddressCount[address];
    if (count >= m_perAddress) {
        if (count == 0)
            m_perAddressCount.erase(address);
        return false;
    }
    ++count;
    ++m_count;
    return true;
}

void ConnectionGuard::closed(const QString& address) {
    const std::lock_guard lock(m_mutex);
    const auto count = m_perAddressCount.find(address);
    if (count == m_perAddressCount.end())
        return;
    --m_count;
    if (--count->second <= 0)
        m_perAddressCount.erase(count);
}

bool ConnectionGuard::crowded() const {
    const std::lock_guard lock(m_mutex);
    return m_count * 4 >= m_total * 3;
}

void ConnectionGuard::stop() {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
}

} // namespace parlova::relay
