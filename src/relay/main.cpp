// parlova-relais: the local Parlova relay (HTTPS on 127.0.0.1).

#include "relay/HttpServer.h"
#include "relay/Log.h"
#include "relay/Options.h"
#include "relay/Relay.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
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
    const auto parsed = Options::parse(arguments);
    if (!parsed) {
        print(stderr, parsed.failure());
        print(stderr, Options::usage());
        return 2;
    }
    if (parsed->helpWanted) {
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

    Relay relay(*parsed);
    if (parsed->prepareSecrets || !parsed->migrateTo.isEmpty()) {
        const Started done =
            parsed->prepareSecrets ? relay.prepareSecrets() : relay.migrateTo(parsed->migrateTo);
        if (!done) {
            print(stderr, done.failure());
            return 1;
        }
        print(stdout, parsed->prepareSecrets
                          ? QStringLiteral("Secrets prêts dans %1 : copiez ce dossier pour chaque "
                                           "relais de la base (--secrets).")
                                .arg(parsed->secretsFolder())
                          : QStringLiteral("Base copiée : démarrez les relais avec --base."));
        return 0;
    }
    if (const Started opened = relay.open(); !opened) {
        print(stderr, opened.failure());
        return 1;
    }
    HttpServer server(relay);
    if (const Started bound = server.bind(parsed->port); !bound) {
        print(stderr, bound.failure());
        return 1;
    }

    // Set once the server has stopped serving; the waiting threads watch it.
    std::mutex stateMutex;
    std::condition_variable stateChanged;
    bool served = false;

    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (signal == SIGINT || signal == SIGTERM)
            Log::line(QStringLiteral("Arrêt demandé (signal %1).").arg(signal));
        server.stop();
        // Clients cannot hold the stop: whatever still runs after this (a
        // long transcription) is abandoned. The database stays consistent.
        std::unique_lock lock(stateMutex);
        if (!stateChanged.wait_for(lock, std::chrono::seconds(4), [&] { return served; })) {
            Log::line(QStringLiteral("Arrêt forcé : des requêtes n’ont pas fini à temps."));
            std::_Exit(0);
        }
    });

    // Expired codes, requests, wrong guesses, sessions, kept weeks and pages
    // go every hour (and went at start-up).
    std::thread purger([&] {
        std::unique_lock lock(stateMutex);
        while (!stateChanged.wait_for(lock, std::chrono::hours(1), [&] { return served; })) {
            lock.unlock();
            try {
                relay.purge();
            } catch (const std::exception& e) {
                Log::line(QStringLiteral("Purge impossible : %1").arg(QString::fromUtf8(e.what())));
            }
            lock.lock();
        }
    });

    print(stdout,
          QStringLiteral("parlova-relais prêt sur https://%1:%2")
              .arg(parsed->listenAddress.contains(u':') ? u'[' + parsed->listenAddress + u']'
                                                        : parsed->listenAddress)
              .arg(server.port()));
    Log::line(
        QStringLiteral("Données : %1 ; autorité : %2%3")
            .arg(parsed->dataDir, relay.authority().authorityCertificatePath(),
                 parsed->control ? QStringLiteral(" ; routes de contrôle actives") : QString()));
    server.run();
    {
        const std::lock_guard lock(stateMutex);
        served = true;
    }
    stateChanged.notify_all();

    // The server may also stop by itself: wake the waiting thread up.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    purger.join();
    Log::line(QStringLiteral("Relais arrêté."));
    return 0;
}
