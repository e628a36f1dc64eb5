#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace parlova::relay {

// Keeps slow and greedy clients from holding the relay's workers: each
// connection must deliver a whole request (headers and body) within a
// deadline, counted from its start or from the previous answer; one address
// holds at most so many open connections; stop() cuts every connection at
// once. Connections are known by an opaque key (the TLS session) and their
// socket, which the guard shuts down (never closes) when one overstays.
class ConnectionGuard {
public:
    using Clock = std::chrono::steady_clock;

    ConnectionGuard(std::chrono::milliseconds requestDeadline, int connectionsPerAddress);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // A connection starts. False, with its socket shut down, when its address
    // already holds the maximum or the relay is stopping.
    bool opened(const void* key, int socket);
    // Called before its socket is closed.
    void closed(const void* key);
    // Its request has been read: the handler's own time does not count.
    void working(const void* key);
    // Its answer is written: the next request has a fresh deadline.
    void answered(const void* key);

    // Shuts every connection down and refuses new ones.
    void stop();

    // The peer address of a connected socket, as text.
    static QString peerAddress(int socket);

private:
    struct Connection {
        int socket = -1;
        QString address;
        Clock::time_point deadline;
        bool reading = true;
        bool cut = false;
    };

    void watch();

    const std::chrono::milliseconds m_requestDeadline;
    const int m_perAddress;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<const void*, Connection> m_connections;
    std::map<QString, int> m_perAddressCount;
    bool m_stopping = false;
    bool m_quit = false;
    std::thread m_watcher;
};

} // namespace parlova::relay
