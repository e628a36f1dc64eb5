#pragma once

#include "relay/Outcome.h"

#include <QString>

#include <memory>
#include <string>

namespace parlova::relay {

class Relay;

// The HTTPS face of the relay on 127.0.0.1: routes, the JSON error body of
// every refusal (the layer's own included), the pages, and the control
// routes when they are on. Connections cost a coroutine, not a thread,
// while they wait; the services run on a few workers. The only user of
// Boost.Beast.
class HttpServer {
public:
    // A dictation upload larger than this is refused with 413.
    static constexpr size_t maxUploadBytes = 8 * 1024 * 1024;

    explicit HttpServer(Relay& relay);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds 127.0.0.1 on the port (0: any free port); a French message when
    // it cannot.
    Started bind(int port);
    int port() const;

    // Serves until stop() is called (from any thread).
    void run();
    void stop();

    // Answers the requests that the bytes hold, as from 127.0.0.1 over a
    // connection without TLS, and gives back the bytes written in answer.
    // For driving the routes without a socket.
    std::string answer(const std::string& requests);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace parlova::relay
