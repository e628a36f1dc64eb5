// Load on the local relay: 2 000 account reads and 200 dictations (test
// engine, real AAC decoding) from 16 concurrent clients over HTTPS on
// loopback, each client on its own kept-alive connection. Prints throughput
// and p50/p99 latencies; exits with 1 on any error or when the run does not
// finish in time.
//
// The relay keeps its base in SQLite, or with --postgresql on the rig's
// PostgreSQL server; --deux-postgresql runs two processes on one base with
// nginx in front, which the clients reach over plain HTTP on loopback.
//
//   bench_relay_load [--postgresql | --deux-postgresql] [reads] [dictations]

#include "NginxFront.h"
#include "RelayProcess.h"
#include "SpeechSamples.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using parlova::test::NginxFront;
using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int clients = 16;
constexpr auto timeLimit = std::chrono::seconds(180);

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

struct Results {
    std::mutex mutex;
    std::vector<double> reads;
    std::vector<double> dictations;
    std::atomic<int> errors{0};
    std::string firstError;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const QString store = arguments.value(0).startsWith(u"--") ? arguments.takeFirst() : QString();
    const bool postgres = !store.isEmpty();
    const bool cluster = store == u"--deux-postgresql";
    const int reads = arguments.size() > 0 ? arguments[0].toInt() : 2000;
    const int dictations = arguments.size() > 1 ? arguments[1].toInt() : 200;
    if (qEnvironmentVariableIsEmpty("PARLOVA_RELAIS"))
        qputenv("PARLOVA_RELAIS", PARLOVA_RELAIS_PATH);

    RelayProcess::Settings settings;
    settings.postgres = postgres;
    RelayProcess relay(settings);
    RelayProcess second{RelayProcess::Settings().sharingWith(relay)};
    NginxFront front;
    if (!relay.start() || (cluster && !second.start())) {
        std::fprintf(stderr, "relais : %s%s\n", qPrintable(relay.errorString()),
                     qPrintable(second.errorString()));
        return 1;
    }
    if (cluster && !front.start({&relay, &second})) {
        std::fprintf(stderr, "nginx : %s\n", qPrintable(front.errorString()));
        return 1;
    }
    const QString label = cluster    ? QStringLiteral("2×PostgreSQL, nginx")
                          : postgres ? QStringLiteral("PostgreSQL")
                                     : QStringLiteral("SQLite");
    QString error;
    const QByteArray take =
        SpeechSamples::m4a({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("sine=frequency=300:duration=2")},
                           &error);
    if (take.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::vector<std::string> tokens;
    for (int i = 0; i < clients; ++i) {
        const QString token = relay.signIn(QStringLiteral("charge%1@example.com").arg(i));
        if (token.isEmpty()) {
            std::fprintf(stderr, "connexion : %s\n", qPrintable(relay.errorString()));
            return 1;
        }
        tokens.push_back(token.toStdString());
    }
    const std::string boundary = "parlova-BENCH-0000";
    const std::string form =
        RelayProcess::dictationBody(QByteArray::fromStdString(boundary), take, {}).toStdString();
    const std::string ca = relay.authorityCertificatePath().toStdString();

    // Task n is a dictation when it falls on the dictation grid, a read otherwise.
    const int total = reads + dictations;
    const auto isDictation = [&](int n) {
        return dictations > 0 &&
               (long(n) * dictations) / total != (long(n + 1) * dictations) / total;
    };
    std::atomic<int> next{0};
    Results results;
    const auto started = Clock::now();
    const auto deadline = started + timeLimit;

    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::SSLClient secure("127.0.0.1", relay.port());
            secure.set_ca_cert_path(ca.c_str());
            secure.enable_server_certificate_verification(true);
            httplib::ClientImpl plain("127.0.0.1", front.port());
            httplib::ClientImpl& client =
                cluster ? plain : static_cast<httplib::ClientImpl&>(secure);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_read_timeout(60, 0);
            const httplib::Headers headers = {{"Authorization", "Bearer " + tokens[size_t(c)]},
                                              {"Accept", "application/json"}};
            for (int n = next++; n < total && Clock::now() < deadline; n = next++) {
                const bool dictation = isDictation(n);
                const auto begin = Clock::now();
                const auto answer = dictation
                                        ? client.Post("/api/dicter", headers, form,
                                                      "multipart/form-data; boundary=" + boundary)
                                        : client.Get("/api/compte", headers);
                const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
                const std::lock_guard lock(results.mutex);
                if (!answer || answer->status != 200) {
                    if (results.errors++ == 0)
                        results.firstError =
                            answer ? std::to_string(answer->status) + " " + answer->body
                                   : httplib::to_string(answer.error());
                    continue;
                }
                (dictation ? results.dictations : results.reads).push_back(ms);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const int done = int(results.reads.size() + results.dictations.size());

    std::printf("Relais local (%s) : %d clients, %d lectures de compte, %d dictées (moteur test)\n",
                qPrintable(label), clients, int(results.reads.size()),
                int(results.dictations.size()));
    std::printf("durée %.2f s, débit %.0f requêtes/s\n", seconds, done / seconds);
    std::printf("lecture de compte : p50 %.1f ms, p99 %.1f ms\n", percentile(results.reads, 0.5),
                percentile(results.reads, 0.99));
    std::printf("dictée (2 s d’audio) : p50 %.1f ms, p99 %.1f ms\n",
                percentile(results.dictations, 0.5), percentile(results.dictations, 0.99));
    std::printf("erreurs : %d%s%s\n", results.errors.load(), results.errors ? " — " : "",
                results.firstError.c_str());
    const QByteArray name = label.toUtf8();
    std::printf("FIGURE|relais %s : débit, %d clients|%.0f req/s|—|%d erreurs|\n", name.constData(),
                clients, done / seconds, results.errors.load());
    std::printf("FIGURE|relais %s : compte p50 / p99|%.1f / %.1f ms|—||\n", name.constData(),
                percentile(results.reads, 0.5), percentile(results.reads, 0.99));
    std::printf("FIGURE|relais %s : dictée de 2 s p50 / p99|%.1f / %.1f ms|—||\n", name.constData(),
                percentile(results.dictations, 0.5), percentile(results.dictations, 0.99));
    second.stop();
    relay.stop();
    const bool complete = done == total && results.errors == 0;
    if (!complete)
        std::printf("ÉCHEC : %d requêtes sur %d abouties\n", done, total);
    if (relay.exitCode() != 0 || (cluster && second.exitCode() != 0)) {
        std::printf("ÉCHEC : le relais s’est arrêté avec le code %d\n", relay.exitCode());
        return 1;
    }
    return complete ? 0 : 1;
}
