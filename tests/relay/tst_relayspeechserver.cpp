// The speech-server engine against a small transcription server of the
// test's own, over HTTP and HTTPS: what the relay sends (form fields, WAV
// header, model, language, bearer key), the French text that comes back and
// its words, and every way the server can fail.

#include "RelayProcess.h"
#include "SpeechSamples.h"
#include "relay/CertificateAuthority.h"

#include <httplib.h>

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <mutex>
#include <thread>

using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

namespace {

const QString frenchText = u"Ça marche déjà très bien, merci à vous."_s;
const QByteArray apiKey = "sk-essai-123";

// What the server answers, and what it saw of the last request.
struct SpeechServer {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    std::mutex mutex;
    int status = 200;
    std::string body = R"({"text": ")" + frenchText.toStdString() + R"("})";
    std::string type = "application/json";
    int delayMs = 0;
    QMap<QString, QByteArray> fields; // name -> content ("file" is the audio)
    QByteArray fileName;
    QByteArray authorization;

    bool start(const QString& certificate = {}, const QString& key = {}) {
        if (certificate.isEmpty())
            server = std::make_unique<httplib::Server>();
        else
            server = std::make_unique<httplib::SSLServer>(certificate.toUtf8().constData(),
                                                          key.toUtf8().constData());
        server->Post("/v1/audio/transcriptions", [this](const httplib::Request& request,
                                                        httplib::Response& response) {
            const std::unique_lock lock(mutex);
            fields.clear();
            for (const auto& [name, part] : request.files)
                fields.insert(QString::fromStdString(name),
                              QByteArray::fromStdString(part.content));
            fileName = QByteArray::fromStdString(request.get_file_value("file").filename);
            authorization = QByteArray::fromStdString(request.get_header_value("Authorization"));
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            response.status = status;
            response.set_content(body, type);
        });
        port = server->bind_to_any_port("127.0.0.1");
        if (port <= 0)
            return false;
        thread = std::thread([this] { server->listen_after_bind(); });
        return true;
    }
    void stop() {
        if (thread.joinable()) {
            server->stop();
            thread.join();
        }
    }
    ~SpeechServer() { stop(); }
    QString url() const {
        return u"%1://127.0.0.1:%2/v1/audio/transcriptions"_s
            .arg(dynamic_cast<httplib::SSLServer*>(server.get()) ? u"https"_s : u"http"_s)
            .arg(port);
    }
    QMap<QString, QByteArray> seen() {
        const std::lock_guard lock(mutex);
        return fields;
    }
};

} // namespace

class TestRelaySpeechServer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_take;

private Q_SLOTS:
    void initTestCase() {
        m_take = SpeechSamples::tone(1.0);
        QVERIFY(!m_take.isEmpty());
        QFile key(m_dir.filePath(u"cle"_s));
        QVERIFY(key.open(QIODevice::WriteOnly));
        key.write(apiKey + "\n");
        key.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // Over HTTP with a key file and the decoded WAV; over HTTPS (trusted
    // through the certificate store's environment) with the key in the
    // environment and the take as uploaded.
    void transcribesThroughTheServer_data() {
        QTest::addColumn<bool>("https");
        QTest::newRow("http, wav, key file") << false;
        QTest::newRow("https, m4a, key from the environment") << true;
    }
    void transcribesThroughTheServer() {
        QFETCH(bool, https);
        parlova::relay::CertificateAuthority authority(m_dir.filePath(u"serveur-parole"_s));
        const auto prepared = authority.prepare();
        QVERIFY2(prepared, qPrintable(prepared ? QString() : prepared.failure()));
        SpeechServer speech;
        QVERIFY(https ? speech.start(authority.serverCertificatePath(), authority.serverKeyPath())
                      : speech.start());
        QStringList arguments = {u"--serveur"_s, speech.url(), u"--modele"_s, u"whisper-1"_s};
        QStringList environment;
        if (https) {
            arguments << u"--format-serveur"_s << u"m4a"_s;
            environment << u"PARLOVA_RELAIS_CLE="_s + QString::fromUtf8(apiKey)
                        << u"SSL_CERT_FILE="_s + authority.authorityCertificatePath();
        } else {
            arguments << u"--cle-fichier"_s << m_dir.filePath(u"cle"_s);
        }
        RelayProcess relay(RelayProcess::Settings()
                               .withEngine(u"serveur"_s)
                               .withArguments(arguments)
                               .withEnvironment(environment));
        QVERIFY2(relay.start(), qPrintable(relay.errorString()));
        const QString token = relay.signIn(u"parole@example.com"_s);

        const auto answer = relay.dictate(token, m_take, u"fr"_s);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json[u"texte"_s], frenchText);
        QCOMPARE(answer.json[u"mots"_s], 8);
        const auto fields = speech.seen();
        QCOMPARE(fields.value(u"model"_s), QByteArray("whisper-1"));
        QCOMPARE(fields.value(u"language"_s), QByteArray("fr"));
        QCOMPARE(speech.authorization, "Bearer " + apiKey);
        const QByteArray file = fields.value(u"file"_s);
        if (https) {
            QCOMPARE(speech.fileName, QByteArray("dictee.m4a"));
            QCOMPARE(file, m_take);
        } else {
            QCOMPARE(speech.fileName, QByteArray("dictee.wav"));
            QVERIFY(file.startsWith("RIFF") && file.mid(8, 8) == "WAVEfmt ");
            QCOMPARE(qFromLittleEndian<quint16>(file.constData() + 20), 1); // PCM
            QCOMPARE(qFromLittleEndian<quint16>(file.constData() + 22), 1); // mono
            QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 24), 16000u);
            QCOMPARE(qFromLittleEndian<quint16>(file.constData() + 34), 16); // bits
        }

        // Automatic language: none is sent.
        QCOMPARE(relay.dictate(token, m_take).status, 200);
        QVERIFY(!speech.seen().contains(u"language"_s));
        QCOMPARE(relay.account(token)[u"semaine"_s][u"mots"_s], 16);
        QVERIFY(!relay.log().contains(QString::fromUtf8(apiKey)));
    }

    // Whatever goes wrong, the client gets 503 "transcription", no word is
    // charged, and the journal says why without the key.
    void failuresChargeNothing_data() {
        QTest::addColumn<int>("status"); // 0: the server is gone
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<QString>("logged");
        QTest::newRow("refused") << 401 << QByteArray(R"({"error":"clé refusée"})") << 0
                                 << u"statut 401"_s;
        QTest::newRow("too slow") << 200 << QByteArray(R"({"text":"trop tard"})") << 2500
                                  << u"sans réponse"_s;
        QTest::newRow("not JSON") << 200 << QByteArray("<html>erreur</html>") << 0
                                  << u"sans texte JSON"_s;
        QTest::newRow("unreachable") << 0 << QByteArray() << 0 << u"injoignable"_s;
    }
    void failuresChargeNothing() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, delayMs);
        QFETCH(QString, logged);
        SpeechServer speech;
        speech.status = status;
        speech.body = body.toStdString();
        speech.type = body.startsWith('{') ? "application/json" : "text/html";
        speech.delayMs = delayMs;
        QVERIFY(speech.start());
        RelayProcess relay(
            RelayProcess::Settings()
                .withEngine(u"serveur"_s)
                .withArguments({u"--serveur"_s, speech.url(), u"--delai-serveur"_s, u"1"_s,
                                u"--cle-fichier"_s, m_dir.filePath(u"cle"_s)}));
        QVERIFY2(relay.start(), qPrintable(relay.errorString()));
        const QString token = relay.signIn(u"panne@example.com"_s);
        if (status == 0)
            speech.stop();
        QCOMPARE(relay.dictate(token, m_take, u"fr"_s).refusal(), u"503 transcription"_s);
        QCOMPARE(relay.account(token)[u"semaine"_s][u"mots"_s], 0);
        const QString log = relay.log();
        QVERIFY2(log.contains(u"Transcription échouée : serveur de transcription : "_s) &&
                     log.contains(logged),
                 qPrintable(log.right(500)));
        QVERIFY(!log.contains(QString::fromUtf8(apiKey)));
    }
};

QTEST_GUILESS_MAIN(TestRelaySpeechServer)
#include "tst_relayspeechserver.moc"
