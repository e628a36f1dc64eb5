#include "NginxFront.h"

#include "RelayProcess.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace parlova::test {

namespace {

// The proxy lines of docs/relais.md, with the upstream kept alive.
constexpr char configuration[] = R"(daemon off;
master_process off;
pid @DIR@/nginx.pid;
error_log @DIR@/error.log info;
events { worker_connections 512; }
http {
    access_log off;
    client_body_temp_path @DIR@/body;
    proxy_temp_path @DIR@/proxy;
    fastcgi_temp_path @DIR@/fastcgi;
    uwsgi_temp_path @DIR@/uwsgi;
    scgi_temp_path @DIR@/scgi;
    upstream parlova_relais {
@SERVERS@        keepalive 16;
    }
    server {
        listen 127.0.0.1:@PORT@;
        client_max_body_size 9m;
        location / {
            proxy_pass https://parlova_relais;
            proxy_request_buffering on;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
            proxy_ssl_server_name on;
            proxy_ssl_name localhost;
            proxy_ssl_verify on;
            proxy_ssl_trusted_certificate @CA@;
            proxy_ssl_session_reuse on;
            proxy_read_timeout 60s;
        }
    }
}
)";

int freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

NginxFront::~NginxFront() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool NginxFront::start(const RelayProcess& relay) {
    return start(std::vector<const RelayProcess*>{&relay});
}

bool NginxFront::start(const std::vector<const RelayProcess*>& relays) {
    const QString nginx =
        QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
    if (nginx.isEmpty()) {
        m_error = QStringLiteral("nginx is not installed");
        return false;
    }
    m_port = freePort();
    QString servers;
    for (const RelayProcess* relay : relays)
        servers +=
            u"        server 127.0.0.1:%1 max_fails=2 fail_timeout=5s;\n"_qs.arg(relay->port());
    QString text = QString::fromLatin1(configuration);
    text.replace(u"@DIR@"_qs, m_dir.path())
        .replace(u"@SERVERS@"_qs, servers)
        .replace(u"@PORT@"_qs, QString::number(m_port))
        .replace(u"@CA@"_qs, relays.front()->authorityCertificatePath());
    QFile file(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the nginx configuration");
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(nginx, {"-p", m_dir.path(), "-c", file.fileName(), "-e",
                            m_dir.filePath(QStringLiteral("error.log"))});
    const bool listening = QTest::qWaitFor(
        [this] {
            if (m_process.state() == QProcess::NotRunning)
                return true;
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            return socket.waitForConnected(200);
        },
        10000);
    if (!listening || m_process.state() == QProcess::NotRunning) {
        QFile log(m_dir.filePath(QStringLiteral("error.log")));
        m_error = QStringLiteral("nginx did not start: ") + QString::fromUtf8(m_process.readAll());
        if (log.open(QIODevice::ReadOnly))
            m_error += QString::fromUtf8(log.readAll());
        return false;
    }
    return true;
}

QByteArray NginxFront::exchange(const QByteArray& request, int ms) const {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    return RelayProcess::answerOf(socket, ms);
}

} // namespace parlova::test
