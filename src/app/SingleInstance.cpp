#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace parlova::app {

SingleInstance::SingleInstance(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder + QStringLiteral("/parlova.sock");
}

bool SingleInstance::handOver(const QString& path, const QStringList& links, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    for (const QString& link : links)
        message += link.toUtf8() + '\n';
    socket.write(message);
    if (!message.isEmpty() && !socket.waitForBytesWritten(timeoutMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen() {
    if (m_server->listen(m_path))
        return true;
    if (m_server->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // Someone answers there: that one is the instance.
    QLocalSocket probe;
    probe.connectToServer(m_path);
    if (probe.waitForConnected(500)) {
        probe.abort();
        return false;
    }
    // Nobody answers: a crashed instance left its socket behind.
    QLocalServer::removeServer(m_path);
    return m_server->listen(m_path);
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        // A sender that never finishes is cut off.
        QTimer::singleShot(5000, socket, &QLocalSocket::abort);
        connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > maxMessage)
                socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            socket->deleteLater();
            if (buffer->size() > maxMessage)
                return;
            QStringList links;
            for (const QByteArray& line : buffer->split('\n')) {
                if (!line.trimmed().isEmpty())
                    links.append(QString::fromUtf8(line.trimmed()));
            }
            Q_EMIT received(links);
        });
    }
}

} // namespace parlova::app
