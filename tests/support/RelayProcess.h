#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QNetworkReply>
#include <QPair>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

class QNetworkAccessManager;

namespace parlova::test {

// A parlova-relais of the test's own (path from $PARLOVA_RELAIS), started
// with --port 0 --controle in a fresh temporary data folder, and the means to
// talk to it and to steer it through its control routes.
//
// Its store is SQLite in the data folder, or, when the settings or
// $PARLOVA_TEST_STORE say "postgresql", a fresh base of its own on the rig's
// PostgreSQL server ($PARLOVA_TEST_POSTGRES), with the key made once by
// --preparer-secrets. A relay started `sharing` another uses that one's base
// and a copy of its secrets, as a second process of one relay does.
//
// The data folder is seeded with the authority of $PARLOVA_TEST_CA_DIR/autorite/
// when that variable is set (the rig's, named by the rig's relayCertificate
// setting), so that one authority serves every relay of a run. The helper's
// own requests trust the relay's authority explicitly, as Parlova does
// through authorityCertificatePath().
//
//     RelayProcess relay;
//     QVERIFY2(relay.start(), qPrintable(relay.errorString()));
//     const QString token = relay.signIn("alice@example.com");
//     relay.setNextTranscript("Bonjour");
class RelayProcess {
public:
    struct Settings {
        QString engine = QStringLiteral("test"); // --moteur: test, pocketsphinx or commande
        QStringList extraArguments;              // e.g. {"--sans-paiement"}
        bool control = true;                     // --controle
        QStringList environment;                 // "NAME=value" added to the relay's environment
        bool postgres = qEnvironmentVariable("PARLOVA_TEST_STORE") == u"postgresql";
        const RelayProcess* sharing = nullptr; // the process whose base and secrets it shares

        Settings& withEngine(const QString& name) {
            engine = name;
            return *this;
        }
        Settings& withArguments(const QStringList& arguments) {
            extraArguments = arguments;
            return *this;
        }
        Settings& withEnvironment(const QStringList& variables) {
            environment = variables;
            return *this;
        }
        Settings& withoutControl() {
            control = false;
            return *this;
        }
        Settings& onPostgres() {
            postgres = true;
            return *this;
        }
        Settings& sharingWith(const RelayProcess& first) {
            postgres = true;
            sharing = &first;
            return *this;
        }
    };

    // What came back for one request. `status` is 0 when no HTTP answer came
    // (connection dropped, TLS refused, time-out).
    struct Answer {
        int status = 0;
        QByteArray body;
        QJsonObject json;                     // the body when it is a JSON object
        QMap<QByteArray, QByteArray> headers; // names in lower case

        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
        // The "erreur" member of a JSON error body.
        QString errorCode() const { return json.value(QStringLiteral("erreur")).toString(); }
        // The status and the error code in one: "402 quota".
        QString refusal() const { return QString::number(status) + u' ' + errorCode(); }
    };

    // The next answer(s) of one route, as POST /controle/reponse takes it.
    struct ScriptedAnswer {
        QString route;       // "api/compte"
        QString method;      // empty: any method
        int status = 0;      // 0: the route's own answer (after the delay)
        QJsonObject body;    // a JSON body…
        QByteArray rawBody;  // …or raw bytes (then contentType applies)
        QString contentType; // for rawBody; text/plain by default
        QString retryAfter;  // the Retry-After header, verbatim
        int delayMs = 0;     // wait before answering
        // Qt resends a request up to three times when its connection closes
        // without an answer: drop several, then clear the rest.
        bool drop = false; // close the connection without an answer
        int times = 1;     // how many requests it applies to

        explicit ScriptedAnswer(QString routePath)
            : route(std::move(routePath)) {}
    };

    RelayProcess();
    explicit RelayProcess(Settings settings);
    ~RelayProcess();
    RelayProcess(const RelayProcess&) = delete;
    RelayProcess& operator=(const RelayProcess&) = delete;

    // Starts the relay and waits (up to 30 s) for its ready line.
    bool start();
    // SIGTERM, then waits for the exit (SIGKILL after 10 s).
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // SIGKILL, as a crash would end it.
    void kill();
    // The highest resident memory of the relay process so far (VmHWM), in KiB.
    qint64 peakMemoryKiB() const;
    QString errorString() const { return m_error; }
    // Everything the relay wrote to its journal so far.
    QString log() const;
    int exitCode() const { return m_process.exitCode(); }
    // One run of parlova-relais that ends by itself (--preparer-secrets,
    // --migrer-vers…) on this data folder: its exit code, with what it
    // printed in `output`.
    int runOnce(const QStringList& arguments, QString* output = nullptr) const;
    // The PostgreSQL URI of its base, empty on SQLite.
    QString base() const { return m_base; }
    // One statement run on its store by psql or sqlite3, as an operator
    // would: what it printed (rows one per line, columns separated by |),
    // or nothing when it failed. ".dump" gives the whole store, as sqlite3
    // or pg_dump writes it.
    std::optional<QString> sql(const QString& statement) const;

    QUrl origin() const { return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_port)); }
    int port() const { return m_port; }
    QString dataDir() const { return m_dir.path(); }
    QString authorityCertificatePath() const {
        return m_dir.filePath(QStringLiteral("autorite/ca.crt"));
    }
    // The default TLS configuration plus the relay's authority.
    QSslConfiguration sslConfiguration() const;

    // One request to the relay; `path` is relative to the origin
    // ("api/compte"). Waits for the answer.
    Answer send(const QByteArray& method, const QString& path, const QByteArray& body = {},
                const QList<QPair<QByteArray, QByteArray>>& headers = {}, int timeoutMs = 30000);
    // A JSON request as Parlova makes it, with the session token if given.
    Answer sendJson(const QByteArray& method, const QString& path, const QJsonObject& body,
                    const QString& token = {});
    // A request without body, with the session token if given.
    Answer call(const QByteArray& method, const QString& path, const QString& token = {});
    // "api/dicter" with the multipart form Parlova sends.
    Answer dictate(const QString& token, const QByteArray& audio, const QString& language = {},
                   int timeoutMs = 60000);
    // A TLS connection of its own to the relay, from the given loopback
    // address (127.0.0.2 counts as another client), encrypted or null.
    std::unique_ptr<QSslSocket> openSocket(const QString& from = QStringLiteral("127.0.0.1"),
                                           bool wait = true);
    // The multipart body Parlova builds for a dictation.
    static QByteArray dictationBody(const QByteArray& boundary, const QByteArray& audio,
                                    const QString& language);
    // A whole dictation request as raw bytes, for sockets of the test's own.
    static QByteArray rawDictation(const QString& token, const QByteArray& audio,
                                   const QByteArray& headers = {});
    // Everything the peer answers on the socket until it closes it.
    static QByteArray answerOf(QTcpSocket& socket, int ms = 15000);
    // Waits until every connection has finished its TLS handshake.
    static bool allEncrypted(const std::vector<std::unique_ptr<QSslSocket>>& sockets);
    // The same request sent at once on `count` connections of their own,
    // spread in turn over the relays: how many were answered 200, or -1
    // when the connections could not all be made.
    static int answeredAtOnce(const std::vector<RelayProcess*>& relays, const QByteArray& request,
                              int count);

    // Control routes.
    QString lastCode(const QString& email);
    bool setNextTranscript(const QString& text);
    bool scriptNextAnswer(const ScriptedAnswer& answer);
    bool clearScriptedAnswers();
    bool advanceClock(qint64 seconds);
    // The relay's own time, which advanceClock() moves away from the wall clock.
    QDateTime now();
    // POST /controle/compte: {"email", "offre", "jours", "mots"}.
    Answer adjustAccount(const QJsonObject& changes);

    // Requests a code, reads it back and verifies it: the session token, or
    // an empty string (errorString() tells why).
    QString signIn(const QString& email, const QString& referral = {});
    // GET api/compte: the account, or an empty object unless it answered 200.
    QJsonObject account(const QString& token);

private:
    bool seedAuthority();
    bool prepareBase();
    // Accept, then the content type and the session token when given.
    static QList<QPair<QByteArray, QByteArray>> headers(const QString& token,
                                                        const QByteArray& contentType = {});

    Settings m_settings;
    QTemporaryDir m_dir;
    QProcess m_process;
    std::unique_ptr<QNetworkAccessManager> m_network;
    int m_port = 0;
    QString m_base;
    QString m_error;
};

} // namespace parlova::test
