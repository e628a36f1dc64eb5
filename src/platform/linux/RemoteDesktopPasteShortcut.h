#pragma once

#include "core/keychain/AsyncKeychain.h"
#include "core/keychain/SecretStore.h"
#include "platform/linux/PasteShortcut.h"
#include "platform/linux/PortalRequest.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>

namespace parlova::platform {

// The paste of GNOME and KDE on Wayland: keys typed through the desktop's
// remote-desktop portal, in a keyboard-only session. The desktop asks the
// user once; the restore token it gives back then is kept in the keychain,
// so that later starts of the program get their session without a dialog.
// The session stays open for every later paste of the run.
class RemoteDesktopPasteShortcut final : public QObject, public PasteShortcut {
    Q_OBJECT

public:
    explicit RemoteDesktopPasteShortcut(core::SecretStore& keychain,
                                        std::function<bool()> frontIsTerminal = {},
                                        QDBusConnection bus = QDBusConnection::sessionBus(),
                                        QObject* parent = nullptr);
    ~RemoteDesktopPasteShortcut() override;

    // Whether the desktop has the portal and it can type on a keyboard.
    QCoro::Task<bool> offered();

    // True while the desktop lets us type without asking: a session of this
    // run is open, or an earlier run was allowed and its token is kept.
    bool allowed() const { return !m_token.isEmpty() || !m_session.isEmpty(); }

    // Opens the session now, which makes the desktop ask the user if it has
    // to, so that this can happen from the settings rather than at the first
    // paste. Succeeds once we may type; refused otherwise.
    QCoro::Task<core::Done<Error>> requestAccess();

    QCoro::Task<core::Done<Error>> send() override;

    // How long a request of the portal may stay unanswered, the user's
    // dialog included, before it counts as failed.
    void setResponseTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

Q_SIGNALS:
    void allowedChanged();

private:
    class Listener;

    QCoro::Task<> readToken();
    QCoro::Task<core::Done<Error>> startSession();
    QCoro::Task<int> type(QString session, bool terminal);
    Error giveUp(const PortalRequest::Answer& answer, const QString& session, bool tokenSpent);
    void keepToken(const QString& token);
    void forgetToken();
    void forgetSession();
    void closeSession(const QString& session);
    void announce(bool wasAllowed);

    PortalRequest* m_portal;
    const std::function<bool()> m_frontIsTerminal;
    core::AsyncKeychain m_keychain;
    std::unique_ptr<Listener> m_listener;
    std::chrono::milliseconds m_timeout{std::chrono::minutes(2)};
    // The single-use token of the desktop's permission, as last given.
    QString m_token;
    bool m_tokenRead = false;
    // The open session's object path, empty when there is none.
    QString m_session;
    bool m_starting = false;
};

} // namespace parlova::platform
