#include "relay/HttpServer.h"

#include "protocol/Route.h"
#include "relay/Answers.h"
#include "relay/ConnectionGuard.h"
#include "relay/ControlState.h"
#include "relay/DictationService.h"
#include "relay/EmailAddress.h"
#include "relay/JsonBody.h"
#include "relay/Log.h"
#include "relay/Pages.h"
#include "relay/ParisWeek.h"
#include "relay/Relay.h"
#include "relay/TestEngine.h"

// Asio 1.74 looks for clang's coroutines only as a TS; clang 14 has them in
// C++20 as GCC does (the fuzz targets are built with it).
#if defined(__clang__) && defined(__cpp_impl_coroutine) && !defined(BOOST_ASIO_HAS_CO_AWAIT)
#define BOOST_ASIO_HAS_CO_AWAIT 1
#endif

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace parlova::relay {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using protocol::ErrorCode;
using protocol::RouteTable;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
using Parser = http::request_parser<http::buffer_body>;
using std::chrono::milliseconds;
using std::chrono::seconds;
template <typename T>
using Awaitable = asio::awaitable<T>;

// The dictation is read as it streams in, before the route table.
const std::string dictationPath =
    "/" + RouteTable::path(protocol::Route::dictate).toString().toStdString();

// What one request may take before the relay allocates for it: the request
// line and headers together, and how many header lines.
constexpr std::uint32_t maxHeaderBytes = 16 * 1024;
constexpr int maxHeaderCount = 100;
// Bodies of the other routes are small JSON objects or page forms.
constexpr size_t maxOtherBodyBytes = 64 * 1024;
// A dictation announced larger than the cap is still read, up to this much,
// so that the client hears its 413 instead of a reset connection.
constexpr std::uint64_t maxDrainBytes = 16 * 1024 * 1024;
// Headers of one part of a multipart form.
constexpr size_t maxPartHeaderBytes = 8 * 1024;
// Open connections in all, idle ones given up first from three quarters on.
constexpr int maxConnections = 512;
constexpr seconds crowdedIdle(1);
constexpr seconds writeDeadline(15);

std::string decodeUrl(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else if (plusIsSpace && text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

// One request as the routes see it, read whole (a dictation's body aside).
struct Request {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> query;
    QByteArray authorization;
    QByteArray contentType;
    QByteArray body;
    std::string peer;
    std::smatch matches;

    QString match(size_t index) const { return QString::fromStdString(matches[index].str()); }
    QString param(const std::string& name) const {
        const auto found = query.find(name);
        return found == query.end() ? QString() : QString::fromStdString(found->second);
    }
};

bool isMultipart(const QByteArray& contentType) {
    return contentType.startsWith("multipart/form-data");
}

// The multipart form of a dictation, parsed as it arrives: exactly one
// "audio" part with a file, at most one "langue" part without one, nothing
// else. Nothing of it is kept but those two parts.
class DictationForm {
public:
    explicit DictationForm(const QByteArray& contentType) {
        const qsizetype at = contentType.indexOf("boundary=");
        if (at < 0)
            return;
        QByteArray boundary = contentType.mid(at + 9);
        if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
            boundary = boundary.mid(1, boundary.size() - 2);
        if (!boundary.isEmpty())
            m_delimiter = "\r\n--" + boundary.toStdString();
    }

    QByteArray audio;
    QByteArray language;
    bool audioSeen = false;
    bool languageSeen = false;
    bool malformed = false;
    bool tooLarge = false;

    // False once the form can no longer be read.
    bool feed(const char* data, size_t size) {
        if (m_delimiter.empty())
            return !(m_broken = true);
        m_pending.append(data, size);
        while (!m_broken && !m_done && step()) {
        }
        return !m_broken && !tooLarge;
    }
    // The whole form was read and ended with its closing delimiter.
    bool complete() const { return m_done && !m_broken; }

private:
    enum class Part { None, Audio, Language, Other };
    enum class State { Start, Headers, Content, Delimiter };

    // One step of the parse; false when it needs more bytes.
    bool step() {
        switch (m_state) {
        case State::Start: {
            // The first delimiter has no CRLF before it; what precedes it is ignored.
            const std::string first = m_delimiter.substr(2) + "\r\n";
            const size_t at = m_pending.find(first);
            if (at == std::string::npos) {
                if (m_pending.size() > first.size())
                    m_pending.erase(0, m_pending.size() - first.size());
                return false;
            }
            m_pending.erase(0, at + first.size());
            m_state = State::Headers;
            m_headers.clear();
            return true;
        }
        case State::Headers: {
            const size_t end = m_pending.find("\r\n");
            if (end == std::string::npos) {
                if (m_headers.size() + m_pending.size() > maxPartHeaderBytes)
                    m_broken = true;
                return false;
            }
            const std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 2);
            m_headers += line;
            if (m_headers.size() > maxPartHeaderBytes) {
                m_broken = true;
                return false;
            }
            if (!line.empty()) {
                if (line.find(':') == std::string::npos)
                    m_broken = true;
                else
                    header(line);
                return true;
            }
            beginPart();
            m_state = State::Content;
            return true;
        }
        case State::Content: {
            const size_t at = m_pending.find(m_delimiter);
            if (at == std::string::npos) {
                // Keeps what could be the start of a delimiter.
                const size_t keep = std::min(m_pending.size(), m_delimiter.size() - 1);
                content(m_pending.data(), m_pending.size() - keep);
                m_pending.erase(0, m_pending.size() - keep);
                return false;
            }
            content(m_pending.data(), at);
            m_pending.erase(0, at + m_delimiter.size());
            m_state = State::Delimiter;
            return true;
        }
        case State::Delimiter:
            if (m_pending.size() < 2)
                return false;
            if (m_pending.compare(0, 2, "--") == 0) {
                m_done = true;
                m_pending.clear();
                return false;
            }
            if (m_pending.compare(0, 2, "\r\n") != 0) {
                m_broken = true;
                return false;
            }
            m_pending.erase(0, 2);
            m_state = State::Headers;
            m_headers.clear();
            m_name.reset();
            m_filename.reset();
            return true;
        }
        return false;
    }

    void header(const std::string& line) {
        static const std::regex disposition(
            R"~(^Content-Disposition:\s*form-data;\s*name="(.*?)"(?:;\s*filename="(.*?)")?(?:;\s*filename\*=\S+)?\s*$)~",
            std::regex::icase);
        std::smatch found;
        if (std::regex_match(line, found, disposition)) {
            m_name = found[1].str();
            m_filename = found[2].str();
        }
    }

    void beginPart() {
        const std::string name = m_name.value_or(std::string());
        const bool hasFile = m_filename && !m_filename->empty();
        if (name == "audio" && !audioSeen && hasFile) {
            audioSeen = true;
            m_current = Part::Audio;
        } else if (name == "langue" && !languageSeen && !hasFile) {
            languageSeen = true;
            m_current = Part::Language;
        } else {
            malformed = true;
            m_current = Part::Other;
        }
    }

    void content(const char* data, size_t size) {
        if (size == 0)
            return;
        // Every byte counts, kept or not, so that no form holds the relay
        // longer or larger than an upload may be.
        m_received += size;
        if (m_received > HttpServer::maxUploadBytes) {
            tooLarge = true;
            return;
        }
        if (m_current == Part::Audio)
            audio.append(data, qsizetype(size));
        else if (m_current == Part::Language && language.size() + qsizetype(size) <= 32)
            language.append(data, qsizetype(size));
        else if (m_current == Part::Language)
            malformed = true;
    }

    std::string m_delimiter;
    std::string m_pending;
    std::string m_headers;
    std::optional<std::string> m_name;
    std::optional<std::string> m_filename;
    State m_state = State::Start;
    Part m_current = Part::None;
    size_t m_received = 0;
    bool m_broken = false;
    bool m_done = false;
};

// Requests held in memory and the answers written back to them, for
// answer(): reads end where the bytes do.
class MemoryStream {
public:
    using executor_type = asio::any_io_executor;

    MemoryStream(executor_type executor, const std::string& input)
        : m_executor(std::move(executor))
        , m_input(input) {}

    executor_type get_executor() { return m_executor; }

    template <typename Buffers, typename Token>
    auto async_read_some(const Buffers& buffers, Token&& token) {
        return asio::async_initiate<Token, void(beast::error_code, size_t)>(
            [this](auto handler, const Buffers& target) {
                const size_t count = asio::buffer_copy(
                    target, asio::buffer(m_input.data() + m_offset, m_input.size() - m_offset));
                m_offset += count;
                beast::error_code error;
                if (count == 0 && asio::buffer_size(target) > 0)
                    error = asio::error::eof;
                asio::post(m_executor, [handler = std::move(handler), error, count]() mutable {
                    handler(error, count);
                });
            },
            token, buffers);
    }

    template <typename Buffers, typename Token>
    auto async_write_some(const Buffers& buffers, Token&& token) {
        return asio::async_initiate<Token, void(beast::error_code, size_t)>(
            [this](auto handler, const Buffers& source) {
                const size_t count = asio::buffer_size(source);
                for (auto it = asio::buffer_sequence_begin(source);
                     it != asio::buffer_sequence_end(source); ++it) {
                    const asio::const_buffer buffer = *it;
                    m_output.append(static_cast<const char*>(buffer.data()), buffer.size());
                }
                asio::post(m_executor, [handler = std::move(handler), count]() mutable {
                    handler(beast::error_code(), count);
                });
            },
            token, buffers);
    }

    const std::string& output() const { return m_output; }

private:
    executor_type m_executor;
    const std::string& m_input;
    size_t m_offset = 0;
    std::string m_output;
};

// What differs between a TLS connection and bytes in memory.
void expire(TlsStream& stream, milliseconds after) {
    beast::get_lowest_layer(stream).expires_after(after);
}
void expire(MemoryStream&, milliseconds) {}
void expireNever(TlsStream& stream) {
    beast::get_lowest_layer(stream).expires_never();
}
void expireNever(MemoryStream&) {}

// The client has closed or reset its side (a pipelined request does not count).
bool peerGone(TlsStream& stream) {
    pollfd entry{beast::get_lowest_layer(stream).socket().native_handle(), POLLRDHUP, 0};
    return ::poll(&entry, 1, 0) < 0 || (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}
bool peerGone(MemoryStream&) {
    return false;
}

// Clients leave Nagle's algorithm on (Qt's HTTP layer does): the end of a
// body larger than one write waits for our acknowledgement of what came
// before. Linux delays that acknowledgement by 40 ms once a connection has
// gone back and forth, which is every kept-alive connection: a long
// dictation on one took 50 ms instead of 8. The kernel clears the flag
// again as it sees fit, so it is set before each read.
void acknowledgeAtOnce(TlsStream& stream) {
    const int on = 1;
    ::setsockopt(beast::get_lowest_layer(stream).socket().native_handle(), IPPROTO_TCP,
                 TCP_QUICKACK, &on, sizeof on);
}
void acknowledgeAtOnce(MemoryStream&) {}

void cut(TlsStream& stream) {
    beast::get_lowest_layer(stream).close();
}
void cut(MemoryStream&) {}

// Ends a connection so that the client reads the whole answer: the relay
// stops sending, then reads and discards (never parses) what the client
// still sends, for a while, before it closes. Only time bounds it, as with
// nginx's lingering close: closing with bytes unread resets the connection,
// and a client still writing a refused body would lose the answer with it.
Awaitable<void> closeLingering(TlsStream& stream, milliseconds linger) {
    auto& layer = beast::get_lowest_layer(stream);
    beast::error_code error;
    layer.socket().shutdown(tcp::socket::shutdown_send, error);
    layer.expires_after(linger);
    std::array<char, 16384> scratch;
    while (!error)
        co_await layer.async_read_some(asio::buffer(scratch),
                                       asio::redirect_error(asio::use_awaitable, error));
    layer.close();
}
Awaitable<void> closeLingering(MemoryStream&, milliseconds) {
    co_return;
}

Awaitable<bool> handshake(TlsStream& stream, milliseconds within) {
    expire(stream, within);
    beast::error_code error;
    co_await stream.async_handshake(asio::ssl::stream_base::server,
                                    asio::redirect_error(asio::use_awaitable, error));
    co_return !error;
}
Awaitable<bool> handshake(MemoryStream&, milliseconds) {
    co_return true;
}

// One route: a handler called on a worker with the whole request.
struct Route {
    enum class Kind { Plain, Control, WrongMethod };
    std::string method;
    std::regex path;
    Kind kind;
    std::function<Reply(const Request&)> handler;
};

// An open connection as the server sees it from outside its coroutine.
class Link : public std::enable_shared_from_this<Link> {
public:
    virtual ~Link() = default;
    // Closes the connection under whatever it waits for.
    virtual void close() = 0;

    std::string address;
    std::atomic<bool> idle{false};
    std::atomic<std::int64_t> idleSince{0};
};

struct Server {
    Relay& relay;
    ConnectionGuard guard;
    std::vector<Route> routes;
    std::mutex linksMutex;
    std::map<Link*, std::weak_ptr<Link>> links;
    asio::ssl::context tls{asio::ssl::context::tls_server};
    bool certificateUsable = false;
    asio::io_context io{2};
    tcp::acceptor acceptor{asio::make_strand(io)};
    // The services may block on the database: they run here, never on the
    // threads that move bytes. The database takes one request at a time,
    // so more threads would only queue on its lock.
    asio::thread_pool workers{2};
    // Transcriptions have their own, so that a burst of them never delays a
    // read: one per core for an engine that computes, more for one that
    // waits on a command or a server.
    asio::thread_pool transcribers;
    std::atomic<bool> stopping{false};
    int port = 0;

    explicit Server(Relay& r)
        : relay(r)
        , guard(r.options().connectionsPerAddress, maxConnections)
        , transcribers(r.options().engine == EngineKind::Command ||
                               r.options().engine == EngineKind::Server
                           ? 16
                           : std::max(2u, std::thread::hardware_concurrency())) {
        try {
            tls.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                            asio::ssl::context::no_sslv3);
            tls.use_certificate_chain_file(
                QFile::encodeName(r.authority().serverCertificatePath()).toStdString());
            tls.use_private_key_file(QFile::encodeName(r.authority().serverKeyPath()).toStdString(),
                                     asio::ssl::context::pem);
            SSL_CTX_set_min_proto_version(tls.native_handle(), TLS1_2_VERSION);
            // An idle connection keeps no TLS buffers.
            SSL_CTX_set_mode(tls.native_handle(), SSL_MODE_RELEASE_BUFFERS);
            certificateUsable = true;
        } catch (const std::exception&) {
            certificateUsable = false;
        }
    }

    void add(const std::string& method, const std::string& path, Route::Kind kind,
             std::function<Reply(const Request&)> handler) {
        routes.push_back({method, std::regex(path), kind, std::move(handler)});
    }

    void addRoutes();
    void addControlRoutes();

    // The first route of a method whose path matches; null when none does.
    const Route* find(const std::string& method, Request& request) const {
        for (const Route& route : routes)
            if (route.method == method &&
                std::regex_match(request.path, request.matches, route.path))
                return &route;
        return nullptr;
    }

    void shedIdle() {
        std::shared_ptr<Link> oldest;
        {
            const std::lock_guard lock(linksMutex);
            for (const auto& [key, weak] : links) {
                if (!key->idle)
                    continue;
                if (!oldest || key->idleSince < oldest->idleSince)
                    oldest = weak.lock();
            }
        }
        if (oldest)
            oldest->close();
    }

    Awaitable<void> accept();
};

std::int64_t steadyMs() {
    return std::chrono::duration_cast<milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool bodyMethod(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE";
}

bool knownMethod(const std::string& method) {
    return bodyMethod(method) || method == "GET" || method == "HEAD" || method == "OPTIONS";
}

// How one request ends.
struct Ending {
    Reply reply;
    bool close = false;  // answered with Connection: close, and closed
    bool unread = false; // part of the body is still unread: never read on
    bool drop = false;   // no answer at all
    // The dictation service's answer, settled once written (or not).
    std::optional<Outcome<DictationService::Dictation>> dictation;

    static Ending of(Reply reply) {
        Ending outcome;
        outcome.reply = std::move(reply);
        return outcome;
    }
    static Ending closing(Reply reply, bool unread) {
        Ending outcome = of(std::move(reply));
        outcome.close = true;
        outcome.unread = unread;
        return outcome;
    }
};

std::string serialize(const Reply& reply, bool head, bool close, int keepAliveLeft,
                      int idleSeconds) {
    const auto status = http::int_to_status(unsigned(reply.status));
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + ' ';
    const auto reason = http::obsolete_reason(status);
    out.append(reason.data(), reason.size());
    out += "\r\n";
    for (const auto& [name, value] : reply.headers)
        out += name.toStdString() + ": " + value.toStdString() + "\r\n";
    if (!reply.contentType.isEmpty())
        out += "Content-Type: " + reply.contentType.toStdString() + "\r\n";
    out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    if (close) {
        out += "Connection: close\r\n";
    } else {
        out += "Connection: Keep-Alive\r\nKeep-Alive: timeout=" + std::to_string(idleSeconds) +
               ", max=" + std::to_string(keepAliveLeft) + "\r\n";
    }
    out += "\r\n";
    if (!head)
        out.append(reply.body.constData(), size_t(reply.body.size()));
    return out;
}

enum class BodyEnd { Done, TooLarge, Broken };

// One connection: its requests one after the other, in order.
template <typename Stream>
class Session : public Link {
public:
    Session(Server& server, Stream stream, std::string peer, bool counted)
        : m_server(server)
        , m_stream(std::move(stream))
        , m_counted(counted) {
        address = std::move(peer);
    }
    ~Session() override {
        if (!m_counted)
            return;
        m_server.guard.closed(QString::fromStdString(address));
        const std::lock_guard lock(m_server.linksMutex);
        m_server.links.erase(this);
    }

    Stream& stream() { return m_stream; }

    void enlist() {
        const std::lock_guard lock(m_server.linksMutex);
        m_server.links[this] = weak_from_this();
    }

    void close() override {
        asio::post(m_stream.get_executor(), [self = weak_from_this(), this] {
            if (self.lock())
                cut(m_stream);
        });
    }

    Awaitable<void> serve(int maxRequests) {
        const Options& options = m_server.relay.options();
        const milliseconds requestDeadline = seconds(options.requestSeconds);
        if (!co_await handshake(m_stream, requestDeadline))
            co_return;
        for (int count = 1; count <= maxRequests && !m_server.stopping; ++count) {
            if (m_buffer.size() == 0) {
                // Waiting for the next request costs a timer, nothing more.
                idleSince = steadyMs();
                idle = true;
                expire(m_stream,
                       m_server.guard.crowded() ? crowdedIdle : seconds(options.idleSeconds));
                beast::error_code error;
                acknowledgeAtOnce(m_stream);
                const size_t read = co_await m_stream.async_read_some(
                    m_buffer.prepare(4096), asio::redirect_error(asio::use_awaitable, error));
                idle = false;
                m_buffer.commit(read);
                if (error)
                    break;
            }
            expire(m_stream, requestDeadline);
            const bool last = count == maxRequests;
            if (!co_await one(last, maxRequests - count, options.idleSeconds))
                break;
        }
        expireNever(m_stream);
        co_await closeLingering(m_stream, seconds(1));
    }

private:
    // One request and its answer; false when the connection ends.
    Awaitable<bool> one(bool last, int left, int idleSeconds) {
        Parser parser;
        parser.header_limit(maxHeaderBytes);
        parser.body_limit(std::numeric_limits<std::uint64_t>::max());
        beast::error_code error;
        acknowledgeAtOnce(m_stream);
        co_await http::async_read_header(m_stream, m_buffer, parser,
                                         asio::redirect_error(asio::use_awaitable, error));
        // From the header read to the answer written: the relay's own share
        // of the exchange, which a client compares with what it waited.
        const auto started = std::chrono::steady_clock::now();
        Request request;
        request.peer = address;
        Ending outcome;
        if (error == http::error::header_limit) {
            outcome = Ending::closing(Reply::error(431, ErrorCode::headers), true);
        } else if (error &&
                   error.category() == http::make_error_code(http::error::bad_method).category() &&
                   error != http::error::partial_message && error != http::error::end_of_stream) {
            outcome = Ending::closing(Reply::error(400, ErrorCode::request), true);
        } else if (error) {
            co_return false; // gone, or too slow
        } else {
            auto& message = parser.get();
            if (std::distance(message.begin(), message.end()) > maxHeaderCount) {
                outcome = Ending::closing(Reply::error(431, ErrorCode::headers), true);
            } else {
                request.method = std::string(message.method_string());
                const std::string targetText(message.target());
                const std::string_view target = targetText;
                const size_t query = target.find('?');
                request.path = decodeUrl(target.substr(0, query), false);
                if (query != std::string_view::npos)
                    parseQuery(target.substr(query + 1), request.query);
                request.authorization =
                    QByteArray::fromStdString(std::string(message[http::field::authorization]));
                request.contentType =
                    QByteArray::fromStdString(std::string(message[http::field::content_type]));
                outcome = co_await respond(parser, request);
                if (!message.keep_alive())
                    outcome.close = true;
            }
        }
        if (outcome.drop) {
            cut(m_stream);
            co_return false;
        }
        outcome.close = outcome.close || last || m_server.stopping;
        bool delivered = false;
        if (!outcome.dictation || !peerGone(m_stream)) {
            expire(m_stream, writeDeadline);
            const std::string bytes = serialize(outcome.reply, request.method == "HEAD",
                                                outcome.close, left, idleSeconds);
            co_await asio::async_write(m_stream, asio::buffer(bytes),
                                       asio::redirect_error(asio::use_awaitable, error));
            delivered = !error;
        }
        if (outcome.dictation && *outcome.dictation) {
            // The words are charged only for an answer that went out.
            const DictationService::Dictation& dictation = **outcome.dictation;
            const auto settle = [this, &dictation, delivered] {
                try {
                    m_server.relay.dictation().settle(dictation, delivered);
                } catch (const std::exception& e) {
                    Log::line(QStringLiteral("Erreur interne sur /%1 : %2")
                                  .arg(RouteTable::path(protocol::Route::dictate),
                                       QString::fromUtf8(e.what())));
                }
                return true;
            };
            co_await work(settle);
        }
        if (delivered) {
            const std::chrono::duration<double, std::milli> spent =
                std::chrono::steady_clock::now() - started;
            // Built by concatenation: a path holding "%1" stays as it is.
            Log::line(QString::fromStdString(request.method) + u' ' +
                      QString::fromStdString(request.path) + u' ' +
                      QString::number(outcome.reply.status) + QStringLiteral(" en ") +
                      QString::number(spent.count(), 'f', 1) + QStringLiteral(" ms"));
        }
        if (!delivered) {
            cut(m_stream);
            co_return false;
        }
        if (outcome.unread) {
            expireNever(m_stream);
            co_await closeLingering(m_stream, seconds(2));
            co_return false;
        }
        co_return !outcome.close;
    }

    static void parseQuery(std::string_view text, std::multimap<std::string, std::string>& query) {
        while (!text.empty()) {
            const size_t end = text.find('&');
            const std::string_view item = text.substr(0, end);
            const size_t equal = item.find('=');
            if (!item.empty())
                query.emplace(decodeUrl(item.substr(0, equal), true),
                              equal == std::string_view::npos
                                  ? std::string()
                                  : decodeUrl(item.substr(equal + 1), true));
            if (end == std::string_view::npos)
                break;
            text.remove_prefix(end + 1);
        }
    }

    // Runs a service call on a worker (in place when serving from memory).
    // Calls are passed by reference and never built inside a co_await
    // expression: GCC 12 destroys such temporaries twice.
    template <typename Call>
    Awaitable<std::invoke_result_t<const Call&>> work(const Call& call,
                                                      bool transcription = false) {
        using Result = std::invoke_result_t<const Call&>;
        if (!m_counted)
            co_return call();
        const auto task = [&call]() -> Awaitable<Result> {
            co_return call();
        };
        const auto workers =
            transcription ? m_server.transcribers.get_executor() : m_server.workers.get_executor();
        co_return co_await asio::co_spawn(workers, task, asio::use_awaitable);
    }

    // Reads the body into the sink, up to a limit.
    template <typename Sink>
    Awaitable<BodyEnd> readBody(Parser& parser, std::uint64_t limit, const Sink& sink) {
        std::array<char, 16384> chunk;
        std::uint64_t total = 0;
        while (!parser.is_done()) {
            parser.get().body().data = chunk.data();
            parser.get().body().size = chunk.size();
            beast::error_code error;
            acknowledgeAtOnce(m_stream);
            co_await http::async_read(m_stream, m_buffer, parser,
                                      asio::redirect_error(asio::use_awaitable, error));
            if (error == http::error::need_buffer)
                error = {};
            if (error)
                co_return BodyEnd::Broken;
            const size_t size = chunk.size() - parser.get().body().size;
            total += size;
            if (total > limit)
                co_return BodyEnd::TooLarge;
            if (size > 0 && !sink(chunk.data(), size))
                co_return BodyEnd::Broken;
        }
        co_return BodyEnd::Done;
    }

    // A scripted answer, when one applies: after its delay, the connection
    // cut, the scripted reply, or nothing (the route answers).
    Awaitable<std::optional<Ending>> scripted(const Request& request) {
        if (!m_server.relay.options().control)
            co_return std::nullopt;
        const auto script = m_server.relay.control().take(QString::fromStdString(request.method),
                                                          QString::fromStdString(request.path));
        if (!script)
            co_return std::nullopt;
        if (script->delayMs > 0) {
            const auto executor = co_await asio::this_coro::executor;
            asio::steady_timer timer(executor);
            timer.expires_after(milliseconds(script->delayMs));
            beast::error_code error;
            co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, error));
        }
        if (script->drop) {
            Ending outcome;
            outcome.drop = true;
            co_return outcome;
        }
        if (script->reply)
            co_return Ending::of(*script->reply);
        co_return std::nullopt;
    }

    Awaitable<Ending> respond(Parser& parser, Request& request) {
        const bool hasBody = !parser.is_done();
        const bool chunked = parser.chunked();
        const auto length = parser.content_length();
        if (request.method == "POST" && request.path == dictationPath)
            co_return co_await dictate(parser, request);
        Ending outcome;
        if (bodyMethod(request.method)) {
            // Only a dictation may be large or sent in chunks.
            if (chunked)
                co_return Ending::closing(Reply::error(411, ErrorCode::length), true);
            if (length && *length > maxOtherBodyBytes)
                co_return Ending::closing(Reply::error(413, ErrorCode::size), true);
        }
        if (hasBody) {
            QByteArray& body = request.body;
            const auto keep = [&body](const char* data, size_t size) {
                body.append(data, qsizetype(size));
                return true;
            };
            const BodyEnd end = co_await readBody(parser, maxOtherBodyBytes, keep);
            if (end == BodyEnd::Broken)
                co_return Ending::closing(Reply::error(400, ErrorCode::request), true);
            if (end == BodyEnd::TooLarge)
                co_return Ending::closing(Reply::error(413, ErrorCode::size), true);
            // A body where none belongs: the connection is not reused.
            if (!bodyMethod(request.method)) {
                outcome.close = true;
                request.body.clear();
            }
        }
        const std::string method = request.method == "HEAD" ? "GET" : request.method;
        const Route* route = knownMethod(method) ? m_server.find(method, request) : nullptr;
        if (!route) {
            outcome.reply = knownMethod(method) ? Reply::error(404, ErrorCode::notFound)
                                                : Reply::error(400, ErrorCode::request);
            co_return outcome;
        }
        if (route->kind == Route::Kind::Plain) {
            if (auto script = co_await scripted(request)) {
                script->close = script->close || outcome.close;
                co_return *script;
            }
        }
        if (route->kind == Route::Kind::Control) {
            const bool loopback = request.peer == "127.0.0.1" || request.peer == "::1" ||
                                  request.peer == "::ffff:127.0.0.1";
            if (!loopback) {
                outcome.reply = Reply::error(403, ErrorCode::control);
                co_return outcome;
            }
        }
        const auto handle = [route, &request] {
            return route->handler(request);
        };
        outcome.reply = co_await guarded(request, handle);
        co_return outcome;
    }

    // A service call on a worker; a fault becomes 500 and a log line.
    template <typename Call>
    Awaitable<Reply> guarded(const Request& request, const Call& call) {
        std::string what;
        try {
            co_return co_await work(call);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
            what = "exception";
        }
        Log::line(QStringLiteral("Erreur interne sur %1 : %2")
                      .arg(QString::fromStdString(request.path), QString::fromStdString(what)));
        co_return Reply::error(500, ErrorCode::internal);
    }

    Awaitable<Ending> dictate(Parser& parser, Request& request) {
        Relay& relay = m_server.relay;
        const auto discard = [](const char*, size_t) {
            return true;
        };
        const auto length = parser.content_length();
        if (length && *length > HttpServer::maxUploadBytes) {
            // Read away (not parsed) when not too large, so that the client
            // hears the refusal rather than a reset.
            const bool drain = *length <= maxDrainBytes;
            if (drain)
                co_await readBody(parser, maxDrainBytes, discard);
            co_return Ending::closing(Reply::error(413, ErrorCode::size), !drain);
        }
        // The token first: a client without one gets nothing kept of its body.
        std::optional<qint64> account;
        try {
            const auto authenticate = [&relay, &request] {
                return relay.account().authenticate(request.authorization);
            };
            account = co_await work(authenticate);
        } catch (const std::exception&) {
            co_return Ending::closing(Reply::error(500, ErrorCode::internal), true);
        }
        if (!account) {
            const BodyEnd end = co_await readBody(parser, HttpServer::maxUploadBytes, discard);
            if (auto script = co_await scripted(request)) {
                script->close = true;
                script->unread = end != BodyEnd::Done;
                co_return *script;
            }
            co_return Ending::closing(Reply::error(401, ErrorCode::session), end != BodyEnd::Done);
        }
        const bool multipart = isMultipart(request.contentType);
        DictationForm form(request.contentType);
        const auto feed = [&](const char* data, size_t size) {
            return !multipart || form.feed(data, size);
        };
        const BodyEnd end = co_await readBody(parser, HttpServer::maxUploadBytes, feed);
        if (end == BodyEnd::TooLarge || form.tooLarge)
            co_return Ending::closing(Reply::error(413, ErrorCode::size), true);
        if (end == BodyEnd::Broken || (multipart && !form.complete())) {
            // What is left of the body must not be read as a next request.
            co_return Ending::closing(Reply::error(400, ErrorCode::form), !parser.is_done());
        }
        if (auto script = co_await scripted(request))
            co_return *script;
        if (!multipart)
            co_return Ending::of(Reply::error(415, ErrorCode::contentType));
        if (form.malformed || !form.audioSeen)
            co_return Ending::of(Reply::error(400, ErrorCode::form));
        std::optional<QString> language;
        if (form.languageSeen) {
            language = QString::fromUtf8(form.language).trimmed();
            if (!DictationService::validLanguage(*language))
                co_return Ending::of(Reply::error(400, ErrorCode::language));
        }
        const qint64 id = *account;
        const QByteArray audio = form.audio;
        form.audio.clear();
        std::string what;
        try {
            // Wrapped: what a worker hands back must be default-constructible.
            const auto transcribe = [&relay, id, &audio, &language] {
                return std::optional(relay.dictation().dictate(id, audio, language));
            };
            auto dictated = co_await work(transcribe, true);
            Ending outcome = Ending::of(Answers::of(*dictated, Answers::dictation));
            outcome.dictation = std::move(dictated);
            co_return outcome;
        } catch (const std::exception& e) {
            what = e.what();
        }
        Log::line(QStringLiteral("Erreur interne sur %1 : %2")
                      .arg(QString::fromStdString(request.path), QString::fromStdString(what)));
        co_return Ending::of(Reply::error(500, ErrorCode::internal));
    }

    Server& m_server;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    const bool m_counted;
};

Awaitable<void> Server::accept() {
    while (!stopping) {
        beast::error_code error;
        const auto strand = asio::make_strand(io);
        auto peer = co_await acceptor.async_accept(
            strand, asio::redirect_error(asio::use_awaitable, error));
        if (stopping)
            break;
        if (error) {
            // Out of descriptors, say: wait instead of spinning.
            const auto executor = co_await asio::this_coro::executor;
            asio::steady_timer pause(executor, milliseconds(100));
            co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, error));
            continue;
        }
        tcp::socket socket(std::move(peer));
        const std::string address = socket.remote_endpoint(error).address().to_string();
        // Refused before any TLS work.
        if (error || !guard.opened(QString::fromStdString(address))) {
            socket.close(error);
            continue;
        }
        if (guard.crowded())
            shedIdle();
        socket.set_option(tcp::no_delay(true), error);
        auto session = std::make_shared<Session<TlsStream>>(
            *this, TlsStream(beast::tcp_stream(std::move(socket)), tls), address, true);
        session->enlist();
        const int maxRequests = relay.options().requestsPerConnection;
        asio::co_spawn(
            session->stream().get_executor(),
            [session, maxRequests]() -> Awaitable<void> { co_await session->serve(maxRequests); },
            asio::detached);
    }
}

void Server::addRoutes() {
    using Kind = Route::Kind;
    const auto session = [this](auto call) {
        return [this, call](const Request& r) {
            const auto account = relay.account().authenticate(r.authorization);
            if (!account)
                return Answers::refusal(Refusal::SignedOut);
            return call(*account, r);
        };
    };
    // The API: its paths answer the other methods with 405 and the ones they take.
    using Api = protocol::Route;
    const auto handler =
        [&](const RouteTable::Entry& entry) -> std::function<Reply(const Request&)> {
        switch (entry.route) {
        case Api::requestCode:
            return [this](const Request& r) {
                return Answers::of(relay.signIn().requestCode(QString::fromStdString(r.peer),
                                                              r.contentType, r.body),
                                   Answers::codeSent);
            };
        case Api::verifyCode:
            return [this](const Request& r) {
                return Answers::of(
                    relay.signIn().verify(QString::fromStdString(r.peer), r.contentType, r.body),
                    Answers::signedIn);
            };
        case Api::signOut:
            return [this](const Request& r) {
                return Answers::of(relay.account().signOut(r.authorization), Answers::done);
            };
        case Api::account:
            if (entry.method == QLatin1StringView("DELETE"))
                return session([this](qint64 id, const Request&) {
                    return Answers::of(relay.account().remove(id), Answers::done);
                });
            return session([this](qint64 id, const Request&) {
                return Answers::of(relay.account().read(id), Answers::json);
            });
        case Api::checkout:
            return session([this](qint64 id, const Request& r) {
                return Answers::of(relay.billing().checkout(id, r.contentType, r.body),
                                   Answers::address);
            });
        case Api::portal:
            return session([this](qint64 id, const Request& r) {
                return Answers::of(relay.billing().portal(id, r.contentType, r.body),
                                   Answers::address);
            });
        case Api::dictate:
            // Read by the layer itself; the entry names its method.
            return {};
        }
        return {};
    };
    struct ApiRoute {
        std::string method;
        std::string path;
        std::function<Reply(const Request&)> handler;
    };
    std::vector<ApiRoute> api;
    for (const RouteTable::Entry& entry : RouteTable::entries())
        api.push_back({entry.method.toString().toStdString(),
                       "/" + RouteTable::path(entry.route).toString().toStdString(),
                       handler(entry)});
    std::map<std::string, std::string> allowed;
    for (const ApiRoute& entry : api) {
        if (entry.handler)
            add(entry.method, entry.path, Kind::Plain, entry.handler);
        std::string& methods = allowed[entry.path];
        methods += (methods.empty() ? "" : ", ") + entry.method;
    }
    for (const auto& [path, methods] : allowed) {
        const QByteArray allow = QByteArray::fromStdString(methods);
        for (const char* method : {"GET", "POST", "DELETE", "PUT", "PATCH"}) {
            if (methods.find(method) == std::string::npos)
                add(method, path, Kind::WrongMethod, [allow](const Request&) {
                    return Reply::error(405, ErrorCode::method).withHeader("Allow", allow);
                });
        }
    }

    // Pages
    const auto page = [](const QString& html) {
        return [html](const Request&) {
            return Reply::html(200, html);
        };
    };
    add("GET", "/", Kind::Plain, page(Pages::home()));
    add("GET", "/conditions", Kind::Plain, page(Pages::terms()));
    add("GET", "/confidentialite", Kind::Plain, page(Pages::privacy()));
    add("GET", "/r/([^/]+)", Kind::Plain, [this](const Request& r) {
        return Answers::of(relay.account().invitationPage(r.match(1)), Answers::page);
    });
    add("GET", "/paiement/([A-Za-z0-9_-]+)", Kind::Plain, [this](const Request& r) {
        return Answers::of(relay.billing().checkoutPage(r.match(1)), Answers::page);
    });
    add("POST", "/paiement/([A-Za-z0-9_-]+)", Kind::Plain, [this](const Request& r) {
        return Answers::of(relay.billing().confirmCheckout(r.match(1)), Answers::page);
    });
    add("GET", "/portail/([A-Za-z0-9_-]+)", Kind::Plain, [this](const Request& r) {
        return Answers::of(relay.billing().portalPage(r.match(1)), Answers::page);
    });
    // Back to the portal with 303 See Other, so that a reloaded page never
    // posts its form twice.
    add("POST", "/portail/([A-Za-z0-9_-]+)/(resilier|reprendre|impaye)", Kind::Plain,
        [this](const Request& r) {
            const QString key = r.match(1);
            const auto back = [&key](const Done&) {
                return Reply::seeOther(QStringLiteral("/portail/") + key);
            };
            return Answers::of(relay.billing().portalAction(key, r.match(2)), back);
        });

    if (relay.options().control)
        addControlRoutes();
}

void Server::addControlRoutes() {
    using Kind = Route::Kind;
    add("GET", "/controle/code", Kind::Control, [this](const Request& r) {
        const auto email = EmailAddress::normalized(r.param("email"));
        const auto code = email ? relay.mailbox().lastCode(*email) : std::nullopt;
        if (!code)
            return Reply::error(404, ErrorCode::code);
        return Reply::json(200,
                           {{QStringLiteral("email"), *email}, {QStringLiteral("code"), *code}});
    });
    add("POST", "/controle/transcription", Kind::Control, [this](const Request& r) {
        const auto parsed = JsonBody::read(r.contentType, r.body);
        if (!parsed)
            return Answers::refusal(parsed.failure());
        std::optional<QString> text;
        if (!JsonBody::text(*parsed, QStringLiteral("texte"), true, &text))
            return Answers::refusal(Refusal::MalformedJson);
        if (!relay.testEngine())
            return Reply::error(409, ErrorCode::engine);
        relay.testEngine()->queue(*text);
        return Reply::noContent();
    });
    add("POST", "/controle/reponse", Kind::Control, [this](const Request& r) {
        const auto answer = ControlState::parse(r.contentType, r.body);
        if (!answer)
            return Answers::refusal(answer.failure());
        relay.control().add(*answer);
        return Reply::noContent();
    });
    add("DELETE", "/controle/reponse", Kind::Control, [this](const Request&) {
        relay.control().clear();
        return Reply::noContent();
    });
    const auto clock = [this](const Request& r) {
        if (r.method == "POST") {
            const auto parsed = JsonBody::read(r.contentType, r.body);
            if (!parsed)
                return Answers::refusal(parsed.failure());
            const qint64 seconds = parsed->value(QStringLiteral("avancer")).toInteger(-1);
            if (seconds < 0)
                return Reply::error(400, ErrorCode::advance);
            relay.clock().advance(seconds);
        }
        return Reply::json(
            200, {{QStringLiteral("maintenant"), ParisWeek::isoDate(relay.clock().now())}});
    };
    add("GET", "/controle/horloge", Kind::Control, clock);
    add("POST", "/controle/horloge", Kind::Control, clock);
    add("POST", "/controle/compte", Kind::Control, [this](const Request& r) {
        return Answers::of(relay.account().adjust(r.contentType, r.body), Answers::json);
    });
}

} // namespace

struct HttpServer::Impl : Server {
    using Server::Server;
};

HttpServer::HttpServer(Relay& relay)
    : m_impl(std::make_unique<Impl>(relay)) {
    m_impl->addRoutes();
}

HttpServer::~HttpServer() = default;

Started HttpServer::bind(int port) {
    if (!m_impl->certificateUsable) {
        return QStringLiteral("Certificat du serveur inutilisable.");
    }
    beast::error_code failure;
    tcp::acceptor& acceptor = m_impl->acceptor;
    const QString address = m_impl->relay.options().listenAddress;
    const tcp::endpoint endpoint(asio::ip::make_address(address.toStdString(), failure),
                                 static_cast<unsigned short>(port));
    acceptor.open(endpoint.protocol(), failure);
    if (!failure)
        acceptor.set_option(tcp::acceptor::reuse_address(true), failure);
    if (!failure)
        acceptor.bind(endpoint, failure);
    if (!failure)
        acceptor.listen(asio::socket_base::max_listen_connections, failure);
    if (failure) {
        acceptor.close(failure);
        m_impl->port = -1;
        return QStringLiteral("Impossible d’écouter sur %1:%2 (port déjà pris ?).")
            .arg(address)
            .arg(port);
    }
    m_impl->port = acceptor.local_endpoint().port();
    m_impl->relay.listensOn(m_impl->port);
    return Done{};
}

int HttpServer::port() const {
    return m_impl->port;
}

void HttpServer::run() {
    Impl& impl = *m_impl;
    asio::co_spawn(
        impl.acceptor.get_executor(), [&impl] { return impl.accept(); }, asio::detached);
    // Two threads move the bytes of every connection; neither ever waits
    // for a service.
    std::thread second([&impl] { impl.io.run(); });
    impl.io.run();
    second.join();
}

std::string HttpServer::answer(const std::string& requests) {
    asio::io_context io;
    auto session = std::make_shared<Session<MemoryStream>>(
        *m_impl, MemoryStream(io.get_executor(), requests), "127.0.0.1", false);
    // Every request the bytes hold, as one kept-alive connection would carry them.
    asio::co_spawn(
        io, [session]() -> Awaitable<void> { co_await session->serve(16); }, asio::detached);
    io.run();
    return session->stream().output();
}

void HttpServer::stop() {
    Impl& impl = *m_impl;
    impl.stopping = true;
    impl.guard.stop();
    asio::post(impl.acceptor.get_executor(), [&impl] {
        beast::error_code error;
        impl.acceptor.close(error);
    });
    std::vector<std::shared_ptr<Link>> open;
    {
        const std::lock_guard lock(impl.linksMutex);
        for (const auto& [key, weak] : impl.links)
            if (auto link = weak.lock())
                open.push_back(link);
    }
    for (const auto& link : open)
        link->close();
}

} // namespace parlova::relay
