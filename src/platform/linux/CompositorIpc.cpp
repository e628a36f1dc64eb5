#include "platform/linux/CompositorIpc.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QString>

#include <array>
#include <cstring>

namespace parlova::platform {

namespace {

// The compositor answers at once; a paste never waits on a stuck one longer.
constexpr int answerTimeoutMs = 150;

// i3's IPC: "i3-ipc", then length and type in native byte order.
constexpr char swayMagic[] = "i3-ipc";
constexpr qsizetype swayHeader = 6 + 4 + 4;
// A tree of a few hundred windows stays well under this.
constexpr quint32 maxAnswer = 16 * 1024 * 1024;

const QByteArray holdCommand = QByteArrayLiteral("parlova --maintenir");

bool readExactly(QLocalSocket& socket, char* into, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(answerTimeoutMs))
            return false;
        const qint64 got = socket.read(into + done, size - done);
        if (got < 0)
            return false;
        done += got;
    }
    return true;
}

bool connectTo(QLocalSocket& socket, const QString& path) {
    socket.connectToServer(path);
    return socket.waitForConnected(answerTimeoutMs);
}

QString hyprlandSocket() {
    const QString instance = qEnvironmentVariable("HYPRLAND_INSTANCE_SIGNATURE");
    if (instance.isEmpty() || instance.contains(QLatin1Char('/')))
        return {};
    // Newer releases keep the socket in the runtime folder, older ones in /tmp.
    const QString tail = QStringLiteral("/hypr/%1/.socket.sock").arg(instance);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return QFileInfo::exists(runtime + tail) ? runtime + tail : QStringLiteral("/tmp") + tail;
}

} // namespace

QString CompositorIpc::message(Error error) {
    switch (error) {
    case Error::absent:
        return QStringLiteral("Ce compositeur ne tourne pas ici.");
    case Error::noAnswer:
        return QStringLiteral("Le compositeur n’a pas répondu.");
    }
    return {};
}

core::Result<QByteArray, CompositorIpc::Error> CompositorIpc::askSway(std::uint32_t type) {
    const QString path = qEnvironmentVariable("SWAYSOCK");
    QLocalSocket socket;
    if (path.isEmpty() || !connectTo(socket, path))
        return Error::absent;
    QByteArray request(swayMagic, 6);
    std::array<char, 8> sizes{};
    const quint32 empty = 0;
    std::memcpy(sizes.data(), &empty, 4);
    std::memcpy(sizes.data() + 4, &type, 4);
    request.append(sizes.data(), sizes.size());
    socket.write(request);
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return Error::noAnswer;
    std::array<char, swayHeader> header{};
    if (!readExactly(socket, header.data(), swayHeader) ||
        std::memcmp(header.data(), swayMagic, 6) != 0)
        return Error::noAnswer;
    quint32 length = 0;
    std::memcpy(&length, header.data() + 6, 4);
    if (length > maxAnswer)
        return Error::noAnswer;
    QByteArray body(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (!readExactly(socket, body.data(), length))
        return Error::noAnswer;
    return body;
}

core::Result<QByteArray, CompositorIpc::Error>
CompositorIpc::askHyprland(const QByteArray& request) {
    const QString path = hyprlandSocket();
    QLocalSocket socket;
    if (path.isEmpty() || !connectTo(socket, path))
        return Error::absent;
    socket.write(request);
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return Error::noAnswer;
    // Hyprland answers and closes.
    QByteArray answer;
    while (socket.waitForReadyRead(answerTimeoutMs) && answer.size() < maxAnswer)
        answer += socket.readAll();
    answer += socket.readAll();
    if (answer.isEmpty())
        return Error::noAnswer;
    return answer;
}

bool CompositorIpc::bindsHoldKey() {
    if (const auto config = askSway(swayGetConfig)) {
        return QJsonDocument::fromJson(*config)
            .object()
            .value(QLatin1StringView("config"))
            .toString()
            .contains(QLatin1StringView(holdCommand));
    }
    if (const auto binds = askHyprland("j/binds")) {
        for (const QJsonValue& bind : QJsonDocument::fromJson(*binds).array()) {
            if (bind.toObject()
                    .value(QLatin1StringView("arg"))
                    .toString()
                    .contains(QLatin1StringView(holdCommand)))
                return true;
        }
    }
    return false;
}

} // namespace parlova::platform
