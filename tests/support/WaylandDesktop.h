#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace parlova::test {

// The rig's headless Wayland desktop (sway with XWayland), as a program
// started in it sees it. Call useWaylandSession() first thing in main(),
// before the application object exists.
class WaylandDesktop {
public:
    // Points this process at the rig's compositor as a Wayland session
    // would: WAYLAND_DISPLAY, SWAYSOCK, XDG_SESSION_TYPE and XWayland's
    // DISPLAY. False (and nothing changed) outside the rig.
    static bool useWaylandSession();

    // The app_id (or X11 class) of the window sway has focused; empty when
    // none.
    static QString focusedWindow();
    // What a Wayland program pasting now would get in that type.
    static QByteArray clipboard(const QString& type = QStringLiteral("text/plain"));
    static QStringList clipboardTypes();
    // The single-instance socket where the desktop's bindings look for the
    // running program; reachable by the desktop's user.
    static QString instanceSocket();
    static void openToDesktopUser(const QString& socket);
    // Holds right Ctrl for `milliseconds` on the compositor's keyboard, so
    // that its bindings run; returns at once.
    static void holdKey(QProcess& typist, int milliseconds);
    // Another Wayland program takes the clipboard with these bytes.
    static void copy(const QByteArray& bytes, const QString& type = QStringLiteral("text/plain"));
};

// A native Wayland window that receives pastes: a GTK 4 text view, or foot
// running a shell that reads one line. Opened in front, with the focus.
class WaylandTextWindow {
public:
    enum class Kind { gtk, foot };

    explicit WaylandTextWindow(Kind kind);
    ~WaylandTextWindow();
    bool open();
    QString text();
    // The app_id sway knows it by.
    QString appId() const;

private:
    Kind m_kind;
    QProcess m_process;
    QTemporaryDir m_folder;
    QString m_text;
};

} // namespace parlova::test
