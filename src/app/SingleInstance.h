#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace parlova::app {

// One Parlova per user session. The first instance listens on a local
// socket in $XDG_RUNTIME_DIR (private to the user); a later launch hands its
// links (or nothing) to it and exits at once.
//
// The message is the links, one per line, in UTF-8; the sender closes the
// connection when it is done. A message larger than maxMessage is dropped.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 maxMessage = 64 * 1024;

    // The socket in the runtime folder; another path for tests.
    explicit SingleInstance(QString path = defaultPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString defaultPath();

    // Hands the links to a running instance; answers whether one took them.
    // Waits at most `timeoutMs` for each step.
    static bool handOver(const QString& path, const QStringList& links, int timeoutMs = 2000);

    // Starts listening. A socket left behind by a crashed instance is
    // replaced; a live one is not. Answers whether this is now the instance.
    bool listen();

Q_SIGNALS:
    // A later launch handed these links over (none: it was launched plainly).
    void received(const QStringList& links);

private:
    void accept();

    QString m_path;
    QLocalServer* m_server;
};

} // namespace parlova::app
