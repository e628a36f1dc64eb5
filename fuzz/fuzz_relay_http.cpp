// The relay's HTTP face without a socket. The first byte picks the input's
// shape: even, a dictation upload (its Content-Type line, then the body,
// posted with a valid session); odd, raw bytes read as requests.
#include "FuzzInput.h"

#include "protocol/Member.h"
#include "protocol/Route.h"
#include "relay/HttpServer.h"
#include "relay/Relay.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

extern "C" {
#include <libavutil/log.h>
}

#include <memory>

using namespace parlova;

namespace {

struct Instance {
    QTemporaryDir folder;
    std::unique_ptr<relay::Relay> relay;
    std::unique_ptr<relay::HttpServer> server;

    // Control routes only where raw requests cannot reach them: a scripted
    // delay would hold the fuzzer for minutes.
    explicit Instance(bool control) {
        relay::Options options;
        options.dataDir = folder.path();
        options.engine = relay::EngineKind::Test;
        options.control = control;
        options.port = 0;
        relay = std::make_unique<relay::Relay>(options);
        if (const relay::Started opened = relay->open(); !opened)
            qFatal("%s", qPrintable(opened.failure()));
        server = std::make_unique<relay::HttpServer>(*relay);
        relay->listensOn(8443);
    }
};

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A signed-in account with Pro offered (Pro itself comes only from a
// subscription), so that uploads go as far as transcription whatever the week.
QByteArray signedIn(relay::Relay& relay) {
    const QString email = QStringLiteral("fuzz@example.org");
    const QString client = QStringLiteral("127.0.0.1");
    (void)relay.signIn().requestCode(client, "application/json",
                                     json({{protocol::Member::email, email}}));
    const auto code = relay.mailbox().lastCode(email);
    const auto verified =
        relay.signIn().verify(client, "application/json",
                              json({{protocol::Member::email, email},
                                    {protocol::Member::code, code.value_or(QString())}}));
    (void)relay.account().adjust("application/json",
                                 json({{protocol::Member::email, email},
                                       {protocol::Member::offer, QStringLiteral("offert")}}));
    return verified ? verified->token.toUtf8() : QByteArray();
}

Instance* uploads = nullptr;
Instance* requests = nullptr;
QByteArray token;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication application(*argc, *argv);
    av_log_set_level(AV_LOG_QUIET);
    uploads = new Instance(true);
    requests = new Instance(false);
    token = signedIn(*uploads->relay);
    if (token.isEmpty())
        qFatal("no session");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray input = fuzz::bytes(data + 1, size - 1);
    if (data[0] & 1) {
        (void)requests->server->answer(input.toStdString());
        return 0;
    }
    const qsizetype end = input.indexOf('\n');
    const QByteArray type = input.left(end < 0 ? 0 : end).trimmed();
    const QByteArray body = end < 0 ? input : input.mid(end + 1);
    const QByteArray request =
        "POST /" + QString(protocol::RouteTable::path(protocol::Route::dictate)).toLatin1() +
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
        "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\n\r\n" + body;
    const std::string answer = uploads->server->answer(request.toStdString());
    FUZZ_CHECK(answer.rfind("HTTP/1.1 ", 0) == 0);
    FUZZ_CHECK(answer.find("HTTP/1.1 5") != 0);
    return 0;
}
