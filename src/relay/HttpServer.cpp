#include "relay/HttpServer.h"

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
#include <QRegularExpression>

#include <chrono>
#include <map>
#include <sys/socket.h>
#include <thread>

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

    bool content(const char* data, size_t size) {
        if (current == Part::Audio)
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

} // namespace

struct HttpServer::Impl {
    Relay& relay;
    httplib::SSLServer server;
    int port = 0;

    explicit Impl(Relay& r)
        : relay(r)
        , server(QFile::encodeName(r.authority().serverCertificatePath()).constData(),
                 QFile::encodeName(r.authority().serverKeyPath()).constData()) {}

    // https:// and the host the client addressed, as long as it looks like a
    // host name or address; the relay's own address otherwise.
    QString origin(const Request& request) const {
        static const QRegularExpression host(
            QStringLiteral("^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"));
        const QString given = QString::fromStdString(request.get_header_value("Host"));
        if (host.match(given).hasMatch())
            return QStringLiteral("https://") + given;
        return QStringLiteral("https://127.0.0.1:%1").arg(port);
    }

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
        return [handler](const Request& request, Response& response) {
            const bool loopback = request.remote_addr == "127.0.0.1" ||
                                  request.remote_addr == "::1" ||
                                  request.remote_addr == "::ffff:127.0.0.1";
            send(loopback ? handler(request) : Reply::error(403, QStringLiteral("controle")),
                 response);
        };
    }

    void dictate(const Request& request, Response& response, const httplib::ContentReader& reader) {
        DictationForm form;
        bool read = false;
        if (request.is_multipart_form_data()) {
            read = reader([&](const httplib::MultipartFormData& part) { return form.header(part); },
                          [&](const char* data, size_t size) { return form.content(data, size); });
        } else {
            read = reader([](const char*, size_t) { return true; });
        }
        if (!read) {
            // The library has set 400 (unreadable form) or 413 (too large).
            // What is left of the body must not be read as a next request.
            response.set_header("Connection", "close");
            send(response.status == 413 ? Reply::error(413, QStringLiteral("taille"))
                                        : Reply::error(400, QStringLiteral("formulaire")),
                 response);
            return;
        }
        if (scripted(request, response))
            return;
        const auto account = relay.account().authenticate(header(request, "Authorization"));
        if (!account)
            return send(Reply::error(401, QStringLiteral("session")), response);
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

    void routes() {
        // API
        server.Post("/api/connexion/code", route([this](const Request& r) {
                        return relay.signIn().requestCode(header(r, "Content-Type"), body(r));
                    }));
        server.Post("/api/connexion/verifier", route([this](const Request& r) {
                        return relay.signIn().verify(header(r, "Content-Type"), body(r), origin(r));
                    }));
        server.Post("/api/deconnexion", route([this](const Request& r) {
                        return relay.account().signOut(header(r, "Authorization"));
                    }));
        server.Get("/api/compte", session([this](qint64 id, const Request& r) {
                       return relay.account().read(id, origin(r));
                   }));
        server.Delete("/api/compte", session([this](qint64 id, const Request&) {
                          return relay.account().remove(id);
                      }));
        server.Post("/api/abonnement/paiement", session([this](qint64 id, const Request& r) {
                        return relay.billing().checkout(id, header(r, "Content-Type"), body(r),
                                                        origin(r));
                    }));
        server.Post("/api/abonnement/portail", session([this](qint64 id, const Request& r) {
                        return relay.billing().portal(id, header(r, "Content-Type"), body(r),
                                                      origin(r));
                    }));
        server.Post("/api/dicter", [this](const Request& request, Response& response,
                                          const httplib::ContentReader& reader) {
            dictate(request, response, reader);
        });

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
        wrongMethods();
    }

    // The API's paths answer other methods with 405 and the methods they take.
    void wrongMethods() {
        const std::map<std::string, std::string> allowed = {{"/api/connexion/code", "POST"},
                                                            {"/api/connexion/verifier", "POST"},
                                                            {"/api/deconnexion", "POST"},
                                                            {"/api/compte", "GET, DELETE"},
                                                            {"/api/abonnement/paiement", "POST"},
                                                            {"/api/abonnement/portail", "POST"},
                                                            {"/api/dicter", "POST"}};
        for (const auto& [path, methods] : allowed) {
            const auto refuse = [methods](const Request&, Response& response) {
                send(Reply::error(405, QStringLiteral("methode"))
                         .withHeader("Allow", QByteArray::fromStdString(methods)),
                     response);
            };
            if (methods.find("GET") == std::string::npos)
                server.Get(path, refuse);
            if (methods.find("POST") == std::string::npos)
                server.Post(path, refuse);
            if (methods.find("DELETE") == std::string::npos)
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
                        return relay.account().adjust(header(r, "Content-Type"), body(r),
                                                      origin(r));
                    }));
    }

    void configure() {
        // Sixteen clients that keep their connections open must not wait for
        // one another.
        server.new_task_queue = [] {
            return new httplib::ThreadPool(48);
        };
        server.set_keep_alive_max_count(1000);
        // Answers go out in several writes; Nagle's algorithm would hold the
        // last one back for the client's delayed acknowledgement (40 ms).
        server.set_tcp_nodelay(true);
        server.set_read_timeout(15);
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
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.set_logger([](const Request& request, const Response& response) {
            scriptedAnswer = false;
            Log::line(QStringLiteral("%1 %2 %3")
                          .arg(QString::fromStdString(request.method),
                               QString::fromStdString(request.path))
                          .arg(response.status));
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

void HttpServer::stop() {
    m_impl->server.stop();
}

} // namespace parlova::relay
