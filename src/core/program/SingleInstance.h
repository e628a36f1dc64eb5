#pragma once

#include "core/Result.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace parlova::core {

// One Parlova per user session. The first instance listens on a local
// socket in $XDG_RUNTIME_DIR (private to the user); a later launch hands its
// links (or nothing) to it and exits at once.
//
// The message is the line "parlova 1", then the links, one per line, in
// UTF-8; the sender closes the connection when it is done. A message larger than maxMessage is
// dropped. A compositor binding (`parlova --maintenir`, `--relacher`) sends
// instead the line "maintenir SECONDS" or "relacher SECONDS", the moment of
// the key on the monotonic clock, which every process of the machine shares.
// "coller-derniere" asks to paste the last dictation again; that one is
// answered before the sender hangs up, with the line "colle" or "rien".
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 maxMessage = 64 * 1024;

    // Why a hand-over or the listening failed.
    enum class Error {
        notRunning,     // no instance answered
        notDelivered,   // the message could not be written to it
        alreadyRunning, // another instance answers: this one is not it
        notListening,   // the socket could not be set up
    };
    static QString message(Error error);

    // Whether the running instance pasted its last dictation again.
    using PasteAnswer = Result<bool, Error>;

    // The socket in the runtime folder; another path for tests.
    explicit SingleInstance(QString path = defaultPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString defaultPath();

    // Hands the links to a running instance; succeeds when one took them.
    // Waits at most `timeoutMs` for each step.
    static Done<Error> handOver(const QString& path, const QStringList& links,
                                int timeoutMs = 2000);
    // Hands a press (or a release) of the hold key over, stamped now.
    static Done<Error> handOverHoldKey(const QString& path, bool down, int timeoutMs = 2000);
    // Asks the running instance to paste its last dictation again: whether
    // it did, or notRunning when no instance answered.
    static PasteAnswer handOverPasteLast(const QString& path, int timeoutMs = 2000);
    // Seconds on the monotonic clock, as the stamps of handOverHoldKey().
    static double monotonicNow();

    // Starts listening unless another instance answers. A socket left behind
    // by a crashed instance is replaced. Succeeds when this is now the
    // instance.
    Done<Error> listen();

    // Answers the requests to paste the last dictation again: whether it
    // was pasted (false when none is kept).
    void setPasteLast(std::function<bool()> pasteLast) { m_pasteLast = std::move(pasteLast); }

Q_SIGNALS:
    // A later launch handed these links over (none: it was launched plainly).
    void received(const QStringList& links);
    // A compositor binding reported the hold key going down or up at `at`.
    void holdKeyHandedOver(bool down, double at);

private:
    static Done<Error> send(const QString& path, const QByteArray& message, int timeoutMs);
    void accept();
    void read(const QByteArray& message);

    QString m_path;
    QLocalServer* m_server;
    std::function<bool()> m_pasteLast;
};

} // namespace parlova::core
