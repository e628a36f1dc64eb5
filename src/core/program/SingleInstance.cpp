#include "core/program/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace parlova::core {

namespace {
// The first line of every hand-over.
const QByteArray header = QByteArrayLiteral("parlova 1\n");
const QByteArray pressWord = QByteArrayLiteral("maintenir");
const QByteArray releaseWord = QByteArrayLiteral("relacher");
const QByteArray pasteLastLine = QByteArrayLiteral("coller-derniere");
} // namespace

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

QString SingleInstance::message(Error error) {
    switch (error) {
    case Error::notRunning:
        return QStringLiteral("Aucune instance de Parlova ne répond.");
    case Error::notDelivered:
        return QStringLiteral("Le message n’a pas pu être transmis à Parlova.");
    case Error::alreadyRunning:
        return QStringLiteral("Parlova tourne déjà.");
    case Error::notListening:
        return QStringLiteral("Le point de contact de Parlova n’a pas pu être ouvert.");
    }
    return {};
}

Done<SingleInstance::Error> SingleInstance::handOver(const QString& path, const QStringList& links,
                                                     int timeoutMs) {
    QByteArray message = header;
    for (const QString& link : links)
        message += link.toUtf8() + '\n';
    return send(path, message, timeoutMs);
}

double SingleInstance::monotonicNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Done<SingleInstance::Error> SingleInstance::handOverHoldKey(const QString& path, bool down,
                                                            int timeoutMs) {
    const QByteArray line =
        (down ? pressWord : releaseWord) + ' ' + QByteArray::number(monotonicNow(), 'f', 6) + '\n';
    return send(path, header + line, timeoutMs);
}

SingleInstance::PasteAnswer SingleInstance::handOverPasteLast(const QString& path, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return Error::notRunning;
    socket.write(header + pasteLastLine + '\n');
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    socket.disconnectFromServer();
    if (!answer.contains('\n'))
        return Error::notRunning;
    return answer.startsWith("colle");
}

Done<SingleInstance::Error> SingleInstance::send(const QString& path, const QByteArray& message,
                                                 int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return Error::notRunning;
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return Error::notDelivered;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return std::monostate{};
}

Done<SingleInstance::Error> SingleInstance::listen() {
    // The server below replaces whatever is at the path (it is made aside,
    // then renamed over it), so a live instance must be looked for first.
    QLocalSocket probe;
    probe.connectToServer(m_path);
    if (probe.waitForConnected(500)) {
        probe.abort();
        return Error::alreadyRunning;
    }
    // Nobody answers: nothing there, or a socket left by a crashed instance.
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path))
        return Error::notListening;
    return std::monostate{};
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        // A sender that never finishes is cut off.
        QTimer::singleShot(5000, socket, &QLocalSocket::abort);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > maxMessage)
                socket->abort();
            // The one request that waits for its answer.
            else if (*buffer == header + pasteLastLine + '\n')
                socket->write(m_pasteLast && m_pasteLast() ? "colle\n" : "rien\n");
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            socket->deleteLater();
            // A probe of a starting instance says nothing: not a launch.
            if (buffer->size() <= maxMessage && buffer->startsWith(header))
                read(buffer->mid(header.size()));
        });
    }
}

void SingleInstance::read(const QByteArray& message) {
    QStringList links;
    bool holdKey = false;
    for (const QByteArray& line : message.split('\n')) {
        if (line.trimmed() == pasteLastLine) {
            holdKey = true; // answered already; no launch either
            continue;
        }
        const QList<QByteArray> words = line.trimmed().split(' ');
        const bool down = words.first() == pressWord;
        if (words.size() == 2 && (down || words.first() == releaseWord)) {
            bool number = false;
            const double at = words.at(1).toDouble(&number);
            holdKey = true;
            if (number && std::isfinite(at))
                Q_EMIT holdKeyHandedOver(down, at);
        } else if (!line.trimmed().isEmpty()) {
            links.append(QString::fromUtf8(line.trimmed()));
        }
    }
    // A key or a request handed over is not a launch: no window comes
    // forward.
    if (!holdKey)
        Q_EMIT received(links);
}

} // namespace parlova::core
