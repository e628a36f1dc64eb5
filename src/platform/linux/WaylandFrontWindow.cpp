#include "platform/linux/WaylandFrontWindow.h"

#include "platform/linux/CompositorIpc.h"
#include "platform/linux/TerminalEmulators.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace parlova::platform {

namespace {

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

} // namespace

bool WaylandFrontWindow::isTerminal() {
    QStringList names;
    if (const auto tree = CompositorIpc::askSway(CompositorIpc::swayGetTree))
        names = namesInSwayTree(*tree);
    else if (const auto window = CompositorIpc::askHyprland("j/activewindow"))
        names = namesInHyprlandWindow(*window);
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

} // namespace parlova::platform
