#include "WaylandDesktop.h"

#include "DesktopWindows.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace parlova::test {

namespace {

// One JSON line per change of the text.
const char* const gtkWindowScript = R"(
import json, sys, gi
gi.require_version('Gtk', '4.0')
from gi.repository import Gtk, Gio
app = Gtk.Application(application_id=sys.argv[1], flags=Gio.ApplicationFlags.NON_UNIQUE)
def activate(app):
    window = Gtk.ApplicationWindow(application=app, title=sys.argv[1])
    view = Gtk.TextView()
    window.set_child(view)
    buffer = view.get_buffer()
    buffer.connect('changed', lambda b: print(json.dumps(
        {'text': b.get_text(b.get_start_iter(), b.get_end_iter(), False)}), flush=True))
    window.present()
    view.grab_focus()
app.connect('activate', activate)
app.run([])
)";

const QString gtkAppId = u"fr.orvane.cible"_s;

QJsonObject focusedNode(const QJsonObject& node) {
    if (node.value(u"focused").toBool())
        return node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray()) {
            const QJsonObject found = focusedNode(child.toObject());
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

bool WaylandDesktop::useWaylandSession() {
    const QByteArray wayland = qgetenv("PARLOVA_WAYLAND_DISPLAY");
    if (wayland.isEmpty())
        return false;
    qputenv("WAYLAND_DISPLAY", wayland);
    qputenv("SWAYSOCK", qgetenv("PARLOVA_SWAYSOCK"));
    qputenv("DISPLAY", qgetenv("PARLOVA_XWAYLAND_DISPLAY"));
    qputenv("XDG_SESSION_TYPE", "wayland");
    return true;
}

QString WaylandDesktop::focusedWindow() {
    const QJsonObject node = focusedNode(
        QJsonDocument::fromJson(runServing(u"swaymsg"_s, {"-r", "-t", "get_tree"})).object());
    const QString appId = node.value(u"app_id").toString();
    if (!appId.isEmpty())
        return appId;
    return node.value(u"window_properties").toObject().value(u"class").toString();
}

QByteArray WaylandDesktop::clipboard(const QString& type) {
    return runServing(u"wl-paste"_s, {"--no-newline", "--type", type});
}

QStringList WaylandDesktop::clipboardTypes() {
    return QString::fromUtf8(runServing(u"wl-paste"_s, {"--list-types"}))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void WaylandDesktop::copy(const QByteArray& bytes, const QString& type) {
    runServing(u"wl-copy"_s, {"--type", type}, bytes);
    (void)QTest::qWaitFor([&] { return clipboard(type) == bytes; }, 2000);
}

QString WaylandDesktop::instanceSocket() {
    return qEnvironmentVariable("PARLOVA_WAYLAND_RUNTIME") + u"/parlova.sock"_s;
}

void WaylandDesktop::openToDesktopUser(const QString& socket) {
    // The tests run as root, the desktop as its own user: on a real desktop
    // both are the one user.
    QFile::setPermissions(socket, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadOther | QFileDevice::WriteOther);
}

void WaylandDesktop::holdKey(QProcess& typist, int milliseconds) {
    typist.start(u"wtype"_s,
                 {"-P", "Control_R", "-s", QString::number(milliseconds), "-p", "Control_R"});
}

WaylandTextWindow::WaylandTextWindow(Kind kind)
    : m_kind(kind) {}

WaylandTextWindow::~WaylandTextWindow() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString WaylandTextWindow::appId() const {
    return m_kind == Kind::gtk ? gtkAppId : u"foot"_s;
}

bool WaylandTextWindow::open() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"GDK_BACKEND"_s, u"wayland"_s);
    m_process.setProcessEnvironment(environment);
    if (m_kind == Kind::gtk) {
        m_process.start(u"/usr/bin/python3"_s,
                        {"-c", QString::fromUtf8(gtkWindowScript), gtkAppId});
    } else {
        const QString line = m_folder.filePath(u"ligne"_s);
        m_process.start(
            u"foot"_s,
            {"sh", "-c",
             u"IFS= read -r l; printf %s \"$l\" > '%1.0'; mv '%1.0' '%1'; sleep 60"_s.arg(line)});
    }
    if (!QTest::qWaitFor([&] { return WaylandDesktop::focusedWindow() == appId(); }, 10000))
        return false;
    QTest::qWait(300); // the text view or the shell is ready to take keys
    return true;
}

QString WaylandTextWindow::text() {
    if (m_kind == Kind::foot) {
        QFile line(m_folder.filePath(u"ligne"_s));
        if (line.open(QIODevice::ReadOnly))
            m_text = QString::fromUtf8(line.readAll());
        return m_text;
    }
    while (m_process.canReadLine()) {
        const QJsonObject report = QJsonDocument::fromJson(m_process.readLine()).object();
        if (report.contains(u"text"))
            m_text = report.value(u"text").toString();
    }
    return m_text;
}

} // namespace parlova::test
