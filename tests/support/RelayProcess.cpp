#include "RelayProcess.h"

#include "ToolRun.h"

#include "protocol/Member.h"
#include "protocol/Route.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace parlova::test {

namespace {

// psql on a PostgreSQL base, sqlite3 on the file otherwise; ".dump" dumps
// the whole store.
std::optional<QString> runSql(const QString& base, const QString& file, const QString& statement) {
    const bool dump = statement == u".dump";
    const ToolRun run =
        base.isEmpty() ? ToolRun::of(u"sqlite3"_s, {file, statement})
        : dump         ? ToolRun::of(u"pg_dump"_s, {u"--inserts"_s, base})
                       : ToolRun::of(u"psql"_s, {u"-X"_s, u"-q"_s, u"-A"_s, u"-t"_s, u"-v"_s,
                                                 u"ON_ERROR_STOP=1"_s, u"-d"_s, base, u"-c"_s, statement});
    if (!run.ok())
        return std::nullopt;
    return QString::fromUtf8(run.out).trimmed();
}

QString serverBase() {
    return qEnvironmentVariable("PARLOVA_TEST_POSTGRES") + u"/postgres"_s;
}

} // namespace

RelayProcess::RelayProcess()
    : RelayProcess(Settings{}) {}

RelayProcess::RelayProcess(Settings settings)
    : m_settings(std::move(settings)) {}

RelayProcess::~RelayProcess() {
    stop();
    // Bases are 8 MB each: a run of the suite would leave gigabytes.
    if (!m_base.isEmpty() && !m_settings.sharing) {
        runSql(serverBase(), {},
               u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(QUrl(m_base).path().mid(1)));
    }
}

void RelayProcess::kill() {
    m_network.reset();
    m_process.kill();
    m_process.waitForFinished(5000);
}

qint64 RelayProcess::peakMemoryKiB() const {
    QFile status(u"/proc/%1/status"_s.arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

std::unique_ptr<QSslSocket> RelayProcess::openSocket(const QString& from, bool wait) {
    auto socket = std::make_unique<QSslSocket>();
    socket->setSslConfiguration(sslConfiguration());
    socket->setPeerVerifyName(u"127.0.0.1"_s);
    if (!socket->bind(QHostAddress(from)))
        return nullptr;
    socket->connectToHostEncrypted(u"127.0.0.1"_s, quint16(m_port));
    if (wait && !socket->waitForEncrypted(10000))
        return nullptr;
    return socket;
}

QString RelayProcess::log() const {
    QFile file(m_dir.filePath(u"relais.log"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool RelayProcess::seedAuthority() {
    const QString source = qEnvironmentVariable("PARLOVA_TEST_CA_DIR");
    if (source.isEmpty())
        return true;
    const QDir from(QDir(source).filePath(u"autorite"_s));
    const QDir to(m_dir.filePath(u"autorite"_s));
    if (!QDir().mkpath(to.path()))
        return false;
    for (const QString& name : {u"ca.crt"_s, u"ca.key"_s}) {
        QFile::remove(to.filePath(name));
        if (!QFile::copy(from.filePath(name), to.filePath(name))) {
            m_error = u"autorité introuvable dans %1"_s.arg(from.path());
            return false;
        }
    }
    QFile::setPermissions(to.filePath(u"ca.key"_s), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

int RelayProcess::runOnce(const QStringList& arguments, QString* output) const {
    const ToolRun run = ToolRun::of(qEnvironmentVariable("PARLOVA_RELAIS"),
                                    QStringList{u"--donnees"_s, m_dir.path()} + arguments);
    if (output)
        *output = QString::fromUtf8(run.out + run.err);
    return run.status;
}

std::optional<QString> RelayProcess::sql(const QString& statement) const {
    return runSql(m_base, m_dir.filePath(u"relais.sqlite3"_s), statement);
}

// A base of its own on the rig's server and a key made for it, or the base
// and a copy of the secrets of the process it shares.
bool RelayProcess::prepareBase() {
    if (const RelayProcess* first = m_settings.sharing) {
        m_base = first->m_base;
        const QString key = u"cle-empreintes"_s;
        if (m_base.isEmpty() ||
            !QFile::copy(QDir(first->dataDir()).filePath(key), m_dir.filePath(key))) {
            m_error = u"le premier relais n’a ni base ni clé"_s;
            return false;
        }
        return true;
    }
    const QString server = qEnvironmentVariable("PARLOVA_TEST_POSTGRES");
    if (server.isEmpty()) {
        m_error = u"PARLOVA_TEST_POSTGRES n’est pas défini (hors du banc de test ?)"_s;
        return false;
    }
    static int made = 0;
    const QString name = u"relais_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++made);
    const bool created = runSql(serverBase(), {}, u"CREATE DATABASE "_s + name).has_value();
    m_base = server + u'/' + name;
    QString output;
    if (!created || runOnce({u"--preparer-secrets"_s}, &output) != 0) {
        m_error = u"base PostgreSQL %1 impossible : %2"_s.arg(name, output);
        m_base.clear();
        return false;
    }
    return true;
}

bool RelayProcess::start() {
    m_error.clear();
    if (isRunning())
        return true;
    if (!m_dir.isValid()) {
        m_error = u"dossier temporaire impossible"_s;
        return false;
    }
    const QString program = qEnvironmentVariable("PARLOVA_RELAIS");
    if (program.isEmpty()) {
        m_error = u"PARLOVA_RELAIS n’est pas défini"_s;
        return false;
    }
    if (!QFile::exists(authorityCertificatePath()) && !seedAuthority())
        return false;
    if (m_settings.postgres && m_base.isEmpty() && !prepareBase())
        return false;

    QStringList arguments = {u"--port"_s,  u"0"_s,        u"--donnees"_s,
                             m_dir.path(), u"--moteur"_s, m_settings.engine};
    if (m_settings.control)
        arguments << u"--controle"_s;
    // The secrets stay here when a test moves the data folder elsewhere.
    if (!m_base.isEmpty())
        arguments << u"--base"_s << m_base << u"--secrets"_s << m_dir.path();
    arguments << m_settings.extraArguments;
    m_process.setStandardErrorFile(m_dir.filePath(u"relais.log"_s), QIODevice::Append);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : m_settings.environment)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = u"parlova-relais ne démarre pas : %1"_s.arg(m_process.errorString());
        return false;
    }

    static const QRegularExpression ready(u"https://127\\.0\\.0\\.1:(\\d+)"_s);
    QByteArray out;
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() &&
            !m_process.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            if (!isRunning())
                break;
            continue;
        }
        out += m_process.readLine();
        const auto found = ready.match(QString::fromUtf8(out));
        if (found.hasMatch()) {
            m_port = found.captured(1).toInt();
            m_network = std::make_unique<QNetworkAccessManager>();
            return true;
        }
    }
    m_error = u"parlova-relais n’est pas prêt : %1"_s.arg(log().right(2000));
    stop();
    return false;
}

void RelayProcess::stop() {
    m_network.reset();
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QSslConfiguration RelayProcess::sslConfiguration() const {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(
        QSslCertificate::fromPath(authorityCertificatePath(), QSsl::Pem));
    return configuration;
}

RelayProcess::Answer RelayProcess::send(const QByteArray& method, const QString& path,
                                        const QByteArray& body,
                                        const QList<QPair<QByteArray, QByteArray>>& headers,
                                        int timeoutMs) {
    Answer answer;
    if (!m_network)
        return answer; // stopped

    QUrl url = origin();
    const qsizetype query = path.indexOf(u'?');
    url.setPath(u'/' + (query < 0 ? path : path.left(query)));
    if (query >= 0)
        url.setQuery(path.mid(query + 1));
    QNetworkRequest request(url);
    request.setSslConfiguration(sslConfiguration());
    request.setTransferTimeout(timeoutMs);
    // Answers are shown as they come: a 303 stays a 303.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);

    std::unique_ptr<QNetworkReply> reply(m_network->sendCustomRequest(request, method, body));
    // The transfer time-out only measures silence: a relay that trickles its
    // answer must not hold the test beyond its own deadline either.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        deadline.start(timeoutMs + 1000);
        loop.exec();
    }

    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        answer.headers.insert(name.toLower(), value);
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    if (document.isObject())
        answer.json = document.object();
    return answer;
}

RelayProcess::Answer RelayProcess::sendJson(const QByteArray& method, const QString& path,
                                            const QJsonObject& body, const QString& token) {
    return send(method, path, QJsonDocument(body).toJson(QJsonDocument::Compact),
                headers(token, "application/json"));
}

RelayProcess::Answer RelayProcess::call(const QByteArray& method, const QString& path,
                                        const QString& token) {
    return send(method, path, {}, headers(token));
}

QList<QPair<QByteArray, QByteArray>> RelayProcess::headers(const QString& token,
                                                           const QByteArray& contentType) {
    QList<QPair<QByteArray, QByteArray>> list = {{"Accept", "application/json"}};
    if (!contentType.isEmpty())
        list.append({"Content-Type", contentType});
    if (!token.isEmpty())
        list.append({"Authorization", "Bearer " + token.toUtf8()});
    return list;
}

QByteArray RelayProcess::dictationBody(const QByteArray& boundary, const QByteArray& audio,
                                       const QString& language) {
    QByteArray body;
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"audio\"; filename=\"dictee.m4a\"\r\n";
    body += "Content-Type: audio/mp4\r\n\r\n";
    body += audio;
    body += "\r\n";
    if (!language.isEmpty()) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"langue\"\r\n\r\n";
        body += language.toUtf8() + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return body;
}

QByteArray RelayProcess::rawDictation(const QString& token, const QByteArray& audio,
                                      const QByteArray& headers) {
    const QByteArray body = dictationBody("limite", audio, {});
    return "POST /api/dicter HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "Authorization: Bearer " +
           token.toUtf8() +
           "\r\nContent-Type: multipart/form-data; boundary=limite\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray RelayProcess::answerOf(QTcpSocket& socket, int ms) {
    QByteArray answer;
    (void)QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        ms);
    return answer + socket.readAll();
}

bool RelayProcess::allEncrypted(const std::vector<std::unique_ptr<QSslSocket>>& sockets) {
    return QTest::qWaitFor(
        [&] {
            return std::all_of(sockets.begin(), sockets.end(),
                               [](const auto& s) { return s && s->isEncrypted(); });
        },
        20000);
}

int RelayProcess::answeredAtOnce(const std::vector<RelayProcess*>& relays,
                                 const QByteArray& request, int count) {
    std::vector<std::unique_ptr<QSslSocket>> sockets;
    for (int i = 0; i < count; ++i)
        sockets.push_back(relays[size_t(i) % relays.size()]->openSocket(u"127.0.0.1"_s, false));
    if (!allEncrypted(sockets))
        return -1;
    for (const auto& socket : sockets)
        socket->write(request);
    int answered = 0;
    for (const auto& socket : sockets)
        answered += answerOf(*socket, 60000).startsWith("HTTP/1.1 200") ? 1 : 0;
    return answered;
}

RelayProcess::Answer RelayProcess::dictate(const QString& token, const QByteArray& audio,
                                           const QString& language, int timeoutMs) {
    const QByteArray boundary =
        "parlova-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    return send("POST", protocol::RouteTable::path(protocol::Route::dictate),
                dictationBody(boundary, audio, language),
                headers(token, "multipart/form-data; boundary=" + boundary), timeoutMs);
}

QString RelayProcess::lastCode(const QString& email) {
    QUrlQuery query;
    query.addQueryItem(u"email"_s, email);
    // QUrlQuery leaves "+" as it is, which the relay reads as a space.
    const Answer answer = call(
        "GET", u"controle/code?"_s + query.toString(QUrl::FullyEncoded).replace(u'+', u"%2B"_s));
    return answer.json.value(u"code"_s).toString();
}

bool RelayProcess::setNextTranscript(const QString& text) {
    return sendJson("POST", u"controle/transcription"_s, {{protocol::Member::text, text}}).status ==
           204;
}

bool RelayProcess::scriptNextAnswer(const ScriptedAnswer& answer) {
    QJsonObject object{{u"route"_s, answer.route},
                       {u"delai"_s, answer.delayMs},
                       {u"coupure"_s, answer.drop},
                       {u"fois"_s, answer.times}};
    if (!answer.method.isEmpty())
        object.insert(u"methode"_s, answer.method);
    if (answer.status != 0)
        object.insert(u"statut"_s, answer.status);
    if (!answer.body.isEmpty())
        object.insert(u"corps"_s, answer.body);
    else if (!answer.rawBody.isEmpty())
        object.insert(u"corps"_s, QString::fromUtf8(answer.rawBody));
    if (!answer.contentType.isEmpty())
        object.insert(u"typeContenu"_s, answer.contentType);
    if (!answer.retryAfter.isNull())
        object.insert(u"retryAfter"_s, answer.retryAfter);
    return sendJson("POST", u"controle/reponse"_s, object).status == 204;
}

bool RelayProcess::clearScriptedAnswers() {
    return call("DELETE", u"controle/reponse"_s).status == 204;
}

bool RelayProcess::advanceClock(qint64 seconds) {
    return sendJson("POST", u"controle/horloge"_s, {{u"avancer"_s, seconds}}).status == 200;
}

QDateTime RelayProcess::now() {
    const Answer answer = call("GET", u"controle/horloge"_s);
    return QDateTime::fromString(answer.json.value(u"maintenant"_s).toString(), Qt::ISODate);
}

QJsonObject RelayProcess::account(const QString& token) {
    const Answer answer = call("GET", protocol::RouteTable::path(protocol::Route::account), token);
    return answer.status == 200 ? answer.json : QJsonObject();
}

RelayProcess::Answer RelayProcess::adjustAccount(const QJsonObject& changes) {
    return sendJson("POST", u"controle/compte"_s, changes);
}

QString RelayProcess::signIn(const QString& email, const QString& referral) {
    QJsonObject request{{protocol::Member::email, email}};
    if (!referral.isEmpty())
        request.insert(protocol::Member::referral, referral);
    const Answer asked =
        sendJson("POST", protocol::RouteTable::path(protocol::Route::requestCode), request);
    if (asked.status != 200) {
        m_error = u"demande de code : %1 %2"_s.arg(asked.status).arg(QString::fromUtf8(asked.body));
        return {};
    }
    request.insert(protocol::Member::code, lastCode(email));
    const Answer verified =
        sendJson("POST", protocol::RouteTable::path(protocol::Route::verifyCode), request);
    if (verified.status != 200) {
        m_error =
            u"vérification : %1 %2"_s.arg(verified.status).arg(QString::fromUtf8(verified.body));
        return {};
    }
    return verified.json.value(protocol::Member::token).toString();
}

} // namespace parlova::test
