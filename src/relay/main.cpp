// parlova-relais: the local Parlova relay (HTTPS on 127.0.0.1).

#include "relay/HttpServer.h"
#include "relay/Log.h"
#include "relay/Options.h"
#include "relay/Relay.h"

#include <QStringList>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

using namespace parlova::relay;

namespace {

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const ParsedOptions parsed = Options::parse(arguments);
    if (!parsed.options) {
        print(stderr, parsed.error);
        print(stderr, Options::usage());
        return 2;
    }
    if (parsed.options->helpWanted) {
        print(stdout, Options::usage());
        return 0;
    }

    // SIGTERM and SIGINT are taken by one thread of ours (below) rather than
    // interrupting whichever thread happens to run: every thread created from
    // here on inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Relay relay(*parsed.options);
    QString error;
    if (!relay.open(&error)) {
        print(stderr, error);
        return 1;
    }
    HttpServer server(relay);
    if (!server.bind(parsed.options->port, &error)) {
        print(stderr, error);
        return 1;
    }

    std::thread signalWaiter([&server, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (signal == SIGINT || signal == SIGTERM)
            Log::line(QStringLiteral("Arrêt demandé (signal %1).").arg(signal));
        server.stop();
    });

    print(stdout,
          QStringLiteral("parlova-relais prêt sur https://127.0.0.1:%1").arg(server.port()));
    Log::line(QStringLiteral("Données : %1 ; autorité : %2%3")
                  .arg(parsed.options->dataDir, relay.authority().authorityCertificatePath(),
                       parsed.options->control ? QStringLiteral(" ; routes de contrôle actives")
                                               : QString()));
    server.run();

    // The server may also stop by itself: wake the waiting thread up.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    Log::line(QStringLiteral("Relais arrêté."));
    return 0;
}
