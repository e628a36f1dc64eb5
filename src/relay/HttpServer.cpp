#include "relay/HttpServer.h"

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

#include <httplib.h>

#include <QFile>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <openssl/ssl.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace parlova::relay {

namespace {

using httplib::Request;
using httplib::Response;

QByteArray header(const Request& request, const char* name) {
    return QByteArray::fromStdString(request.get_header_value(name));
}

QByteArray body(const Request& request) {
    return QByteArray::fromStdString(request.body);
}

QString match(const Request& request, int index) {
    return QString::fromStdString(request.matches[index].str());
}

// What the multipart form of a dictation held, checked part by part as the
// library parses it: exactly one "audio" part with a file, at most one
// "langue" part without one, nothing else.
struct DictationForm {
    enum class Part { None, Audio, Language, Other };
    Part current = Part::None;
    QByteArray audio;
    QByteArray language;
    bool audioSeen = false;
    bool languageSeen = false;
    bool malformed = false;

    bool header(const httplib::MultipartFormData& part) {
        if (part.name == "audio" && !audioSeen && !part.filename.empty()) {
            audioSeen = true;
            current = Part::Audio;
        } else if (part.name == "langue" && !languageSeen && part.filename.empty()) {
            languageSeen = true;
            current = Part::Language;
        } else {
            malformed = true;
            current = Part::Other;
        }
        return true; // the rest is still read, so the connection stays usable
    }

    size_t received = 0;
    bool tooLarge = false;

    bool content(const char* data, size_t size) {
        // Every byte counts, kept or not, so that no form holds the relay
        // longer or larger than an upload may be.
        received += size;
        if (received > HttpServer::maxUploadBytes) {
            tooLarge = true;
            return false;
        }
        if (current == Part::Audio && data)
            audio.append(data, qsizetype(size));
        else if (current == Part::Language && language.size() + qsizetype(size) <= 32)
            language.append(data, qsizetype(size));
        else if (current == Part::Language)
            malformed = true;
        return true;
    }
};

// Set while a scripted answer is written, so that an empty scripted body
// stays empty instead of getting the JSON error body.
thread_local bool scriptedAnswer = false;

// Bodies of the other routes are small JSON objects.
constexpr size_t maxOtherBodyBytes = 64 * 1024;

// The guard learns of each TLS connection when its handshake starts, on the
// worker thread that serves it, and of its end when the library frees the
// session, before it closes the socket.
int guardIndex() {
    static const int index =
        SSL_get_ex_new_index(0, nullptr, nullptr, nullptr,
                             [](void* parent, void* guard, CRYPTO_EX_DATA*, int, long, void*) {
                                 if (guard)
                                     static_cast<ConnectionGuard*>(guard)->closed(parent);
                             });
    return index;
}

void handshakeStarts(const SSL* ssl, int where, int) {
    if (!(where & SSL_CB_HANDSHAKE_START))
        return;
    auto* session = const_cast<SSL*>(ssl);
    if (SSL_get_ex_data(session, guardIndex()))
        return; // a renegotiation: already known
    auto* guard = static_cast<ConnectionGuard*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (guard && guard->opened(session, SSL_get_fd(ssl)))
        SSL_set_ex_data(session, guardIndex(), guard);
}

// The library's server, with its handling of one request from any stream
// within reach, so that a request can be answered without a socket.
class Server : public httplib::SSLServer {
public:
    using httplib::SSLServer::process_request;
    using httplib::SSLServer::SSLServer;
};

// A request held in memory and the answer written back to it.
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(const std::string& input)
        : m_input(input) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t count = std::min(size, m_input.size() - m_offset);
        std::memcpy(ptr, m_input.data() + m_offset, count);
        m_offset += count;
        return ssize_t(count);
    }
    ssize_t write(const char* ptr, size_t size) override {
        m_output.append(ptr, size);
        return ssize_t(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8443;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    const std::string& output() const { return m_output; }

private:
    const std::string& m_input;
    size_t m_offset = 0;
    std::string m_output;
};

} // namespace

struct HttpServer::Impl {
    Relay& relay;
    Server server;
    ConnectionGuard guard;
    int port = 0;

    explicit Impl(Relay& r)
        : relay(r)
        , server(QFile::encodeName(r.authority().serverCertificatePath()).constData(),
                 QFile::encodeName(r.authority().serverKeyPath()).constData())
        , guard(std::chrono::seconds(r.options().requestSeconds),
                r.options().connectionsPerAddress) {}

    static void send(const Reply& reply, Response& response) {
        response.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            response.set_header(name.toStdString(), value.toStdString());
        if (!reply.body.isEmpty() || !reply.contentType.isEmpty())
            response.set_content(reply.body.toStdString(), reply.contentType.toStdString());
    }

    // Applies a scripted answer; true when it took the request over.
    bool scripted(const Request& request, Response& response) {
        if (!relay.options().control)
            return false;
        const auto script = relay.control().take(QString::fromStdString(request.method),
                                                 QString::fromStdString(request.path));
        if (!script)
            return false;
        scriptedAnswer = true;
        if (script->delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(script->delayMs));
        if (script->drop) {
            // Closes the connection under the library: the client gets no answer.
            if (request.ssl)
                ::shutdown(SSL_get_fd(request.ssl), SHUT_RDWR);
            response.status = 500;
            return true;
        }
        if (script->reply) {
            send(*script->reply, response);
            return true;
        }
        scriptedAnswer = false;
        return false;
    }

    // A route's handler, behind the scripted answers.
    template <typename Handler>
    httplib::Server::Handler route(Handler handler) {
        return [this, handler](const Request& request, Response& response) {
            guard.working(request.ssl);
            if (!scripted(request, response))
                send(handler(request), response);
        };
    }

    // A route that needs a session: 401 without a valid bearer token.
    template <typename Handler>
    httplib::Server::Handler session(Handler handler) {
        return route([this, handler](const Request& request) {
            const auto account = relay.account().authenticate(header(request, "Authorization"));
            if (!account)
                return Reply::error(401, QStringLiteral("session"));
            return handler(*account, request);
        });
    }

    // Control routes answer only to this machine.
    template <typename Handler>
    httplib::Server::Handler control(Handler handler) {
        return [this, handler](const Request& request, Response& response) {
            guard.working(request.ssl);
            const bool loopback = request.remote_addr == "127.0.0.1" ||
                                  request.remote_addr == "::1" ||
                                  request.remote_addr == "::ffff:127.0.0.1";
            send(loopback ? handler(request) : Reply::error(403, QStringLiteral("controle")),
                 response);
        };
    }

    void dictate(const Request& request, Response& response, const httplib::ContentReader& reader) {
        // The token first: a client without one gets nothing kept of its body.
        const auto account = relay.account().authenticate(header(request, "Authorization"));
        if (!account) {
            size_t received = 0;
            const auto discard = [&](const char*, size_t size) {
                received += size;
                return received <= maxUploadBytes;
            };
            // The library parses a multipart body whichever way it is read.
            if (request.is_multipart_form_data())
                reader([](const httplib::MultipartFormData&) { return true; }, discard);
            else
                reader(discard);
            guard.working(request.ssl);
            response.set_header("Connection", "close");
            if (!scripted(request, response))
                send(Reply::error(401, QStringLiteral("session")), response);
            return;
        }
        DictationForm form;
        bool read = false;
        if (request.is_multipart_form_data()) {
            read = reader([&](const httplib::MultipartFormData& part) { return form.header(part); },
                          [&](const char* data, size_t size) { return form.content(data, size); });
        } else {
            read = reader([&](const char*, size_t size) { return form.content(nullptr, size); });
        }
        guard.working(request.ssl);
        if (!read || form.tooLarge) {
            // The library has set 400 (unreadable form) or 413 (too large).
            // What is left of the body must not be read as a next request.
            response.set_header("Connection", "close");
            send(response.status == 413 || form.tooLarge
                     ? Reply::error(413, QStringLiteral("taille"))
                     : Reply::error(400, QStringLiteral("formulaire")),
                 response);
            return;
        }
        if (scripted(request, response))
            return;
        if (!request.is_multipart_form_data())
            return send(Reply::error(415, QStringLiteral("type-contenu")), response);
        if (form.malformed || !form.audioSeen)
            return send(Reply::error(400, QStringLiteral("formulaire")), response);
        std::optional<QString> language;
        if (form.languageSeen) {
            language = QString::fromUtf8(form.language).trimmed();
            if (!DictationService::validLanguage(*language))
                return send(Reply::error(400, QStringLiteral("langue")), response);
        }
        send(relay.dictation().dictate(*account, form.audio, language), response);
    }

    // One route of the table below: a handler, or for a dictation a handler
    // that reads the body itself.
    struct ApiRoute {
        std::string method;
        std::string path;
        httplib::Server::Handler handler;
        httplib::Server::HandlerWithContentReader reader;
    };

    void routes() {
        const auto sessionBody = [this](auto call) {
            return session([call](qint64 id, const Request& r) {
                return call(id, header(r, "Content-Type"), body(r));
            });
        };
        const std::vector<ApiRoute> api = {
            {"POST",
             "/api/connexion/code",
             route([this](const Request& r) {
                 return relay.signIn().requestCode(QString::fromStdString(r.remote_addr),
                                                   header(r, "Content-Type"), body(r));
             }),
             {}},
            {"POST",
             "/api/connexion/verifier",
             route([this](const Request& r) {
                 return relay.signIn().verify(QString::fromStdString(r.remote_addr),
                                              header(r, "Content-Type"), body(r));
             }),
             {}},
            {"POST",
             "/api/deconnexion",
             route([this](const Request& r) {
                 return relay.account().signOut(header(r, "Authorization"));
             }),
             {}},
            {"GET",
             "/api/compte",
             session([this](qint64 id, const Request&) { return relay.account().read(id); }),
             {}},
            {"DELETE",
             "/api/compte",
             session([this](qint64 id, const Request&) { return relay.account().remove(id); }),
             {}},
            {"POST",
             "/api/abonnement/paiement",
             sessionBody([this](qint64 id, const QByteArray& type, const QByteArray& content) {
                 return relay.billing().checkout(id, type, content);
             }),
             {}},
            {"POST",
             "/api/abonnement/portail",
             sessionBody([this](qint64 id, const QByteArray& type, const QByteArray& content) {
                 return relay.billing().portal(id, type, content);
             }),
             {}},
            {"POST",
             "/api/dicter",
             {},
             [this](const Request& request, Response& response,
                    const httplib::ContentReader& reader) {
                 dictate(request, response, reader);
             }},
        };
        for (const ApiRoute& entry : api) {
            if (entry.reader)
                server.Post(entry.path, entry.reader);
            else if (entry.method == "GET")
                server.Get(entry.path, entry.handler);
            else if (entry.method == "POST")
                server.Post(entry.path, entry.handler);
            else if (entry.method == "DELETE")
                server.Delete(entry.path, entry.handler);
        }
        wrongMethods(api);

        // Pages
        const auto page = [this](const QString& html) {
            return route([html](const Request&) { return Reply::html(200, html); });
        };
        server.Get("/", page(Pages::home()));
        server.Get("/conditions", page(Pages::terms()));
        server.Get("/confidentialite", page(Pages::privacy()));
        server.Get(R"(/r/([^/]+))", route([this](const Request& r) {
                       return relay.account().invitationPage(match(r, 1));
                   }));
        server.Get(R"(/paiement/([A-Za-z0-9_-]+))", route([this](const Request& r) {
                       return relay.billing().checkoutPage(match(r, 1));
                   }));
        server.Post(R"(/paiement/([A-Za-z0-9_-]+))", route([this](const Request& r) {
                        return relay.billing().confirmCheckout(match(r, 1));
                    }));
        server.Get(R"(/portail/([A-Za-z0-9_-]+))", route([this](const Request& r) {
                       return relay.billing().portalPage(match(r, 1));
                   }));
        server.Post(R"(/portail/([A-Za-z0-9_-]+)/(resilier|reprendre|impaye))",
                    route([this](const Request& r) {
                        return relay.billing().portalAction(match(r, 1), match(r, 2));
                    }));

        if (relay.options().control)
            controlRoutes();
    }

    // The API's paths answer the other methods with 405 and the ones they take.
    void wrongMethods(const std::vector<ApiRoute>& api) {
        std::map<std::string, std::string> allowed;
        for (const ApiRoute& entry : api) {
            std::string& methods = allowed[entry.path];
            methods += (methods.empty() ? "" : ", ") + entry.method;
        }
        for (const auto& allowedEntry : allowed) {
            const std::string& path = allowedEntry.first;
            const std::string& methods = allowedEntry.second;
            const auto refuse = [this, methods](const Request& request, Response& response) {
                guard.working(request.ssl);
                send(Reply::error(405, QStringLiteral("methode"))
                         .withHeader("Allow", QByteArray::fromStdString(methods)),
                     response);
            };
            const auto takes = [&](const char* method) {
                return methods.find(method) != std::string::npos;
            };
            if (!takes("GET"))
                server.Get(path, refuse);
            if (!takes("POST"))
                server.Post(path, refuse);
            if (!takes("DELETE"))
                server.Delete(path, refuse);
            server.Put(path, refuse);
            server.Patch(path, refuse);
        }
    }

    void controlRoutes() {
        server.Get("/controle/code", control([this](const Request& r) {
                       const auto email = EmailAddress::normalized(
                           QString::fromStdString(r.get_param_value("email")));
                       const auto code = email ? relay.mailbox().lastCode(*email) : std::nullopt;
                       if (!code)
                           return Reply::error(404, QStringLiteral("code"));
                       return Reply::json(200, {{QStringLiteral("email"), *email},
                                                {QStringLiteral("code"), *code}});
                   }));
        server.Post("/controle/transcription", control([this](const Request& r) {
                        QJsonObject object;
                        if (auto refusal =
                                JsonBody::read(header(r, "Content-Type"), body(r), &object))
                            return *refusal;
                        std::optional<QString> text;
                        if (!JsonBody::text(object, QStringLiteral("texte"), true, &text))
                            return JsonBody::malformed();
                        if (!relay.testEngine())
                            return Reply::error(409, QStringLiteral("moteur"));
                        relay.testEngine()->queue(*text);
                        return Reply::noContent();
                    }));
        server.Post("/controle/reponse", control([this](const Request& r) {
                        ScriptedAnswer answer;
                        if (auto refusal =
                                ControlState::parse(header(r, "Content-Type"), body(r), &answer))
                            return *refusal;
                        relay.control().add(answer);
                        return Reply::noContent();
                    }));
        server.Delete("/controle/reponse", control([this](const Request&) {
                          relay.control().clear();
                          return Reply::noContent();
                      }));
        const auto clock = [this](const Request& r) {
            if (r.method == "POST") {
                QJsonObject object;
                if (auto refusal = JsonBody::read(header(r, "Content-Type"), body(r), &object))
                    return *refusal;
                const qint64 seconds = object.value(QStringLiteral("avancer")).toInteger(-1);
                if (seconds < 0)
                    return Reply::error(400, QStringLiteral("avancer"));
                relay.clock().advance(seconds);
            }
            return Reply::json(
                200, {{QStringLiteral("maintenant"), ParisWeek::isoDate(relay.clock().now())}});
        };
        server.Get("/controle/horloge", control(clock));
        server.Post("/controle/horloge", control(clock));
        server.Post("/controle/compte", control([this](const Request& r) {
                        return relay.account().adjust(header(r, "Content-Type"), body(r));
                    }));
    }

    void configure() {
        // Sixteen clients that keep their connections open must not wait for
        // one another.
        // A slow client holds a worker only until its request's deadline, and
        // one address holds only so many of them.
        server.new_task_queue = [] {
            return new httplib::ThreadPool(64);
        };
        const Options& options = relay.options();
        server.set_keep_alive_max_count(size_t(options.requestsPerConnection));
        server.set_keep_alive_timeout(options.idleSeconds);
        SSL_CTX_set_app_data(server.ssl_context(), &guard);
        SSL_CTX_set_info_callback(server.ssl_context(), handshakeStarts);
        // Answers go out in several writes; Nagle's algorithm would hold the
        // last one back for the client's delayed acknowledgement (40 ms).
        server.set_tcp_nodelay(true);
        server.set_read_timeout(std::min(options.requestSeconds, 15));
        server.set_write_timeout(15);
        server.set_payload_max_length(maxUploadBytes);
        SSL_CTX_set_min_proto_version(server.ssl_context(), TLS1_2_VERSION);

        // Whatever the library refuses by itself gets a JSON error body too.
        server.set_error_handler([](const Request&, Response& response) {
            const bool keepAsIs = scriptedAnswer || !response.body.empty();
            scriptedAnswer = false;
            if (keepAsIs)
                return;
            QString code;
            switch (response.status) {
            case 400:
                code = QStringLiteral("requete");
                break;
            case 404:
                code = QStringLiteral("introuvable");
                break;
            case 413:
                code = QStringLiteral("taille");
                break;
            default:
                code = QStringLiteral("http-%1").arg(response.status);
            }
            send(Reply::error(response.status, code), response);
        });
        server.set_exception_handler(
            [](const Request& request, Response& response, std::exception_ptr error) {
                QString what = QStringLiteral("exception");
                try {
                    if (error)
                        std::rethrow_exception(error);
                } catch (const std::exception& e) {
                    what = QString::fromUtf8(e.what());
                } catch (...) {
                }
                Log::line(QStringLiteral("Erreur interne sur %1 : %2")
                              .arg(QString::fromStdString(request.path), what));
                send(Reply::error(500, QStringLiteral("interne")), response);
            });
        server.set_pre_routing_handler([](const Request& request, Response& response) {
            scriptedAnswer = false;
            // The library leaves the body of a GET unread, where it would be
            // taken for the next request: such a connection is not reused.
            const bool bodyExpected = request.method == "POST" || request.method == "PUT" ||
                                      request.method == "PATCH" || request.method == "DELETE";
            const std::string length = request.get_header_value("Content-Length");
            const bool hasBody =
                request.has_header("Transfer-Encoding") || (!length.empty() && length != "0");
            if (!bodyExpected && hasBody)
                response.set_header("Connection", "close");
            // The library would gather any other body whole before the route
            // sees it: only a dictation may be large or sent in chunks.
            if (bodyExpected && request.path != "/api/dicter") {
                const bool chunked = request.has_header("Transfer-Encoding");
                if (chunked || std::strtoull(length.c_str(), nullptr, 10) > maxOtherBodyBytes) {
                    response.set_header("Connection", "close");
                    send(chunked ? Reply::error(411, QStringLiteral("longueur"))
                                 : Reply::error(413, QStringLiteral("taille")),
                         response);
                    return httplib::Server::HandlerResponse::Handled;
                }
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.set_logger([this](const Request& request, const Response& response) {
            scriptedAnswer = false;
            guard.answered(request.ssl);
            // Built by concatenation: a path holding "%1" stays as it is.
            Log::line(QString::fromStdString(request.method) + u' ' +
                      QString::fromStdString(request.path) + u' ' +
                      QString::number(response.status));
        });
    }
};

HttpServer::HttpServer(Relay& relay)
    : m_impl(std::make_unique<Impl>(relay)) {
    m_impl->configure();
    m_impl->routes();
}

HttpServer::~HttpServer() = default;

bool HttpServer::bind(int port, QString* error) {
    if (!m_impl->server.is_valid()) {
        *error = QStringLiteral("Certificat du serveur inutilisable.");
        return false;
    }
    if (port == 0) {
        m_impl->port = m_impl->server.bind_to_any_port("127.0.0.1");
    } else if (m_impl->server.bind_to_port("127.0.0.1", port)) {
        m_impl->port = port;
    } else {
        m_impl->port = -1;
    }
    if (m_impl->port > 0)
        m_impl->relay.listensOn(m_impl->port);
    if (m_impl->port <= 0) {
        *error =
            QStringLiteral("Impossible d’écouter sur 127.0.0.1:%1 (port déjà pris ?).").arg(port);
        return false;
    }
    return true;
}

int HttpServer::port() const {
    return m_impl->port;
}

void HttpServer::run() {
    m_impl->server.listen_after_bind();
}

std::string HttpServer::answer(const std::string& requests) {
    MemoryStream stream(requests);
    bool closed = false;
    // Every request the bytes hold, as one kept-alive connection would carry them.
    for (int count = 0;
         count < 16 && m_impl->server.process_request(stream, false, closed, nullptr) && !closed;
         ++count) {
    }
    return stream.output();
}

void HttpServer::stop() {
    m_impl->guard.stop();
    m_impl->server.stop();
}

} // namespace parlova::relay
