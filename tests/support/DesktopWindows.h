#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace parlova::test {

// A Tk text window of its own process, as a real application receiving the
// paste. It reports its text, its clicks and its focus losses.
class TextWindow {
public:
    TextWindow();
    ~TextWindow();

    // Shown, found and given the keyboard focus.
    bool open();
    QString text();
    int clicks();
    int focusLosses();
    // X window id, in decimal, for xdotool.
    const QString& id() const { return m_id; }

private:
    void readReports();

    QProcess m_process;
    QString m_title;
    QString m_id;
    QString m_text;
    int m_clicks = 0;
    int m_focusLosses = 0;
};

// The terminal st (Debian stterm), which pastes with Ctrl+Shift+V; the shell
// in it writes the first line typed to a file.
class Terminal {
public:
    Terminal();
    ~Terminal();

    bool open();
    // The line once Return has been typed; empty when none came.
    QString line();

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_title;
};

// Runs xdotool; false when it failed.
bool xdotool(const QStringList& arguments);

} // namespace parlova::test
