#include "platform/linux/WaylandFrontWindow.h"

#include "platform/linux/TerminalEmulators.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStringList>

#include <array>
#include <cstring>

namespace parlova::platform {

namespace {

// The compositor answers at once; a paste never waits on a stuck one longer.
constexpr int answerTimeoutMs = 150;

// i3's IPC: "i3-ipc", then length and type in native byte order.
constexpr char swayMagic[] = "i3-ipc";
constexpr quint32 swayGetTree = 4;
constexpr qsizetype swayHeader = 6 + 4 + 4;
// A tree of a few hundred windows stays well under this.
constexpr quint32 swayMaxAnswer = 16 * 1024 * 1024;

std::optional<QJsonObject> focusedNode(const QJsonObject& node) {
    if (node.value(QLatin1StringView("focused")).toBool())
        return node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1StringView(children)).toArray()) {
            if (std::optional<QJsonObject> found = focusedNode(child.toObject()))
                return found;
        }
    }
    return std::nullopt;
}

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

} // namespace

bool WaylandFrontWindow::isTerminal() {
    std::optional<QByteArray> answer;
    QStringList names;
    if (const QString sway = qEnvironmentVariable("SWAYSOCK"); !sway.isEmpty()) {
        if ((answer = askSway(sway)))
            names = namesInSwayTree(*answer);
    } else if (const QString hyprland = qEnvironmentVariable("HYPRLAND_INSTANCE_SIGNATURE");
               !hyprland.isEmpty() && !hyprland.contains(QLatin1Char('/'))) {
        // Newer releases keep the socket in the runtime folder, older ones in /tmp.
        const QString tail = QStringLiteral("/hypr/%1/.socket.sock").arg(hyprland);
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString path =
            QFileInfo::exists(runtime + tail) ? runtime + tail : QStringLiteral("/tmp") + tail;
        if ((answer = askHyprland(path)))
            names = namesInHyprlandWindow(*answer);
    }
    for (const QString& name : names) {
        if (TerminalEmulators::isTerminal(name, QString()))
            return true;
    }
    return false;
}

QStringList WaylandFrontWindow::namesInSwayTree(const QByteArray& json) {
    const std::optional<QJsonObject> node = focusedNode(QJsonDocument::fromJson(json).object());
    if (!node)
        return {};
    QStringList names;
    names << node->value(QLatin1StringView("app_id")).toString();
    const QJsonObject x11 = node->value(QLatin1StringView("window_properties")).toObject();
    names << x11.value(QLatin1StringView("instance")).toString()
          << x11.value(QLatin1StringView("class")).toString();
    names.removeAll(QString());
    return names;
}

QStringList WaylandFrontWindow::namesInHyprlandWindow(const QByteArray& json) {
    const QJsonObject window = QJsonDocument::fromJson(json).object();
    QStringList names{window.value(QLatin1StringView("class")).toString(),
                      window.value(QLatin1StringView("initialClass")).toString()};
    names.removeAll(QString());
    return names;
}

std::optional<QByteArray> WaylandFrontWindow::askSway(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(answerTimeoutMs))
        return std::nullopt;
    QByteArray request(swayMagic, 6);
    std::array<char, 8> sizes{};
    const quint32 empty = 0;
    std::memcpy(sizes.data(), &empty, 4);
    std::memcpy(sizes.data() + 4, &swayGetTree, 4);
    request.append(sizes.data(), sizes.size());
    socket.write(request);
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return std::nullopt;
    std::array<char, swayHeader> header{};
    if (!readExactly(socket, header.data(), swayHeader) ||
        std::memcmp(header.data(), swayMagic, 6) != 0)
        return std::nullopt;
    quint32 length = 0;
    std::memcpy(&length, header.data() + 6, 4);
    if (length > swayMaxAnswer)
        return std::nullopt;
    QByteArray body(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (!readExactly(socket, body.data(), length))
        return std::nullopt;
    return body;
}

std::optional<QByteArray> WaylandFrontWindow::askHyprland(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(answerTimeoutMs))
        return std::nullopt;
    socket.write("j/activewindow");
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return std::nullopt;
    // Hyprland answers and closes.
    QByteArray answer;
    while (socket.waitForReadyRead(answerTimeoutMs) && answer.size() < swayMaxAnswer)
        answer += socket.readAll();
    answer += socket.readAll();
    return answer.isEmpty() ? std::nullopt : std::optional<QByteArray>(answer);
}

} // namespace parlova::platform
