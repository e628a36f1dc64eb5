// Command-line figures, against a local relay under the test rig:
//  - wall time of `parlova --compte` (target: under 80 ms, most of it the
//    process start);
//  - from the finished file of a 120 s take to its upload request handed to
//    the transport (target: under 5 ms).
//
//     scripts/rig.sh ./build/bench/bench_cli [runs]

#include "RelayProcess.h"
#include "core/keychain/KeychainItem.h"
#include "core/relayclient/RelayClient.h"
#include "platform/Keychain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

using namespace parlova;

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

void report(const QString& what, const QList<double>& milliseconds, double target,
            const QString& reference = {}) {
    const double middle = median(milliseconds);
    out() << what << " : médiane " << QString::number(middle, 'f', 1) << " ms, min "
          << QString::number(*std::min_element(milliseconds.begin(), milliseconds.end()), 'f', 1)
          << " ms sur " << milliseconds.size() << " essais ; objectif " << target << " ms (rapport "
          << QString::number(middle / target, 'f', 2) << ")\n";
    out() << "FIGURE|" << what << '|' << QString::number(middle, 'f', 1) << " ms|< " << target
          << " ms|" << reference << '|' << (middle < target ? "OK" : "MANQUÉ") << '\n';
    out().flush();
}

// Stamps the moment a request reaches it and answers at once.
class StampingTransport final : public core::RelayTransport {
public:
    QElapsedTimer* clock = nullptr;
    qint64 handedAtNs = 0;

    QCoro::Task<core::RelayResult<Response>> send(Request) override {
        handedAtNs = clock->nsecsElapsed();
        co_return Response{503, {}, {}};
    }
};

bool makeTake(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:sample_rate=16000:duration=120"),
                  QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-c:a"),
                  QStringLiteral("aac"), path});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
}

void benchUpload(int runs, const QString& folder) {
    const QString take = QDir(folder).filePath(QStringLiteral("prise-120s.m4a"));
    if (!makeTake(take)) {
        out() << "ffmpeg n'a pas produit la prise de 120 s\n";
        return;
    }
    auto transport = std::make_shared<StampingTransport>();
    const core::RelayClient client(QUrl(QStringLiteral("https://127.0.0.1:8443")), transport);
    QList<double> milliseconds;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        transport->clock = &clock;
        clock.start();
        QFile file(take);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QByteArray audio = file.readAll();
        const auto pending =
            client.dictate(audio, QStringLiteral("jeton"), core::DictationLanguage::french);
        milliseconds.append(double(transport->handedAtNs) / 1e6);
    }
    out() << "prise de 120 s : " << QFileInfo(take).size() / 1024 << " Kio\n";
    report(QStringLiteral("fin de prise -> requête au transport"), milliseconds, 5);
}

void benchAccount(int runs, const QString& folder) {
    test::RelayProcess relay;
    if (!relay.start()) {
        out() << "relais : " << relay.errorString() << '\n';
        return;
    }
    const QString token = relay.signIn(QStringLiteral("banc@example.fr"));
    if (token.isEmpty() ||
        core::KeychainItem::session().store(platform::Keychain::system(), token) != 0) {
        out() << "session impossible : " << relay.errorString() << '\n';
        return;
    }
    QDir(folder).mkpath(QStringLiteral("config/parlova"));
    QFile settings(QDir(folder).filePath(QStringLiteral("config/parlova/parlova.conf")));
    if (!settings.open(QIODevice::WriteOnly))
        return;
    settings.write("[General]\nrelayURL=" + relay.origin().toEncoded() + "\nrelayCertificate=" +
                   QFile::encodeName(relay.authorityCertificatePath()) + "\n");
    settings.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       QDir(folder).filePath(QStringLiteral("config")));
    // Where the time goes: a usage line needs the process and Qt alone,
    // forgetting the old key adds one keychain call, the account adds the relay.
    const auto wallTimes = [&](const QStringList& arguments, int expectedStatus) {
        QList<double> milliseconds;
        for (int run = 0; run < runs; ++run) {
            QProcess parlova;
            parlova.setProcessEnvironment(environment);
            QElapsedTimer clock;
            clock.start();
            parlova.start(qEnvironmentVariable("PARLOVA_EXE"), arguments);
            if (!parlova.waitForFinished(30000) || parlova.exitCode() != expectedStatus) {
                out() << "parlova " << arguments.join(u' ')
                      << " a échoué : " << parlova.readAllStandardOutput() << '\n';
                return QList<double>();
            }
            milliseconds.append(double(clock.nsecsElapsed()) / 1e6);
        }
        return milliseconds;
    };
    const double startOnly = median(wallTimes({QStringLiteral("--paiement")}, 1));
    const double keychain = median(wallTimes({QStringLiteral("--oublier-cle")}, 0));
    const QList<double> account = wallTimes({QStringLiteral("--compte")}, 0);
    if (account.isEmpty())
        return;
    const double total = median(account);
    report(QStringLiteral("parlova --compte"), account, 80,
           QStringLiteral("démarrage %1 ms, trousseau %2 ms, relais %3 ms")
               .arg(startOnly, 0, 'f', 1)
               .arg(keychain - startOnly, 0, 'f', 1)
               .arg(total - keychain, 0, 'f', 1));
    core::KeychainItem::session().remove(platform::Keychain::system());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("PARLOVA_EXE"))
        qputenv("PARLOVA_EXE", PARLOVA_EXE_PATH);
    if (qEnvironmentVariableIsEmpty("PARLOVA_RELAIS"))
        qputenv("PARLOVA_RELAIS", PARLOVA_RELAIS_PATH);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;
    QTemporaryDir folder;

    benchUpload(runs, folder.path());
    if (qEnvironmentVariableIsSet("PARLOVA_RIG"))
        benchAccount(runs, folder.path());
    else
        out() << "parlova --compte : à mesurer dans le banc d'essai (scripts/rig.sh)\n";
    return 0;
}
