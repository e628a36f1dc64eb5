#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace parlova::test {

// A Tk text window of another process, as a real application receiving the
// paste and the clicks. Opened with the keyboard focus.
class TextWindow {
public:
    ~TextWindow();
    bool open();
    QString text();
    int clicks();
    // X window id, in decimal, as xdotool gives it.
    const QString& id() const { return m_id; }

private:
    void readReports();

    QProcess m_process;
    QString m_id;
    QString m_text;
    int m_clicks = 0;
};

// Runs a program to its end while the event loop keeps turning: this process
// may be the one that must answer its clipboard request. Standard output.
QByteArray runServing(const QString& program, const QStringList& arguments,
                      const QByteArray& input = {});

// Finds the window of that title (waiting for it) and gives it the focus;
// its id, or empty.
QString focusWindow(const QString& title);

} // namespace parlova::test
