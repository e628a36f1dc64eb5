#include "platform/linux/RemoteDesktopPasteShortcut.h"

#include "core/keychain/KeychainItem.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QLoggingCategory>
#include <QPointer>

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroSignal>

#include <linux/input-event-codes.h>

#include <array>
#include <optional>
#include <utility>

namespace parlova::platform {

namespace {

Q_LOGGING_CATEGORY(portalLog, "parlova.paste.portal")

const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

constexpr uint keyboardDevice = 1;
// Until the user revokes it in the desktop's settings.
constexpr uint persistUntilRevoked = 2;

// Evdev codes, which the desktop reads with the user's own layout; in the
// order of PasteKey.
constexpr std::array<int, 3> keycodes{KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_V};

QDBusMessage keystroke(const PortalRequest& portal, const QVariant& session, PasteStroke stroke) {
    return portal.call(QStringLiteral("NotifyKeyboardKeycode"),
                       {session, QVariantMap(), keycodes[static_cast<std::size_t>(stroke.key)],
                        stroke.down ? 1u : 0u});
}

QCoro::Task<> reportFailure(QCoro::Task<qint32> call, const char* what) {
    const qint32 status = co_await std::move(call);
    if (status != core::SecretStore::success && status != core::SecretStore::itemNotFound)
        qCWarning(portalLog).noquote() << what << core::SecretStore::message(status);
}

} // namespace

using Answer = PortalRequest::Answer;

// The moments a paste may wait for besides the portal's own answers.
class RemoteDesktopPasteShortcut::Listener final : public QObject {
    Q_OBJECT

Q_SIGNALS:
    void tokenRead();
    // The session start under way has ended, well or not.
    void settled();
};

RemoteDesktopPasteShortcut::RemoteDesktopPasteShortcut(core::SecretStore& keychain,
                                                       std::function<bool()> frontIsTerminal,
                                                       QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_portal(new PortalRequest(std::move(bus), remoteDesktopInterface, this))
    , m_frontIsTerminal(std::move(frontIsTerminal))
    , m_keychain(keychain)
    , m_listener(std::make_unique<Listener>()) {
    connect(m_portal, &PortalRequest::sessionClosed, this, [this](const QString& session) {
        if (session == m_session)
            forgetSession();
    });
    readToken();
}

RemoteDesktopPasteShortcut::~RemoteDesktopPasteShortcut() {
    // The desktop shows that a program may type for as long as the session
    // lasts.
    if (!m_session.isEmpty())
        closeSession(m_session);
}

QCoro::Task<bool> RemoteDesktopPasteShortcut::offered() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    QCoro::Task<core::Result<QVariant, PortalRequest::Error>> asking =
        m_portal->property(QStringLiteral("AvailableDeviceTypes"));
    const core::Result<QVariant, PortalRequest::Error> types = co_await std::move(asking);
    if (!self || !types)
        co_return false;
    co_return (types->toUInt() & keyboardDevice) != 0;
}

QCoro::Task<core::Done<PasteShortcut::Error>> RemoteDesktopPasteShortcut::requestAccess() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    if (m_starting) {
        // A paste made while the user still has the dialog in front of them
        // takes its answer rather than opening a second dialog.
        co_await qCoro(m_listener.get(), &Listener::settled);
        if (!self || m_session.isEmpty())
            co_return Error::refused;
        co_return core::Done<Error>(std::monostate{});
    }
    if (!m_session.isEmpty())
        co_return core::Done<Error>(std::monostate{});

    m_starting = true;
    QCoro::Task<core::Done<Error>> starting = startSession();
    const core::Done<Error> started = co_await std::move(starting);
    if (!self)
        co_return Error::refused;
    m_starting = false;
    Q_EMIT m_listener->settled();
    co_return started;
}

QCoro::Task<core::Done<PasteShortcut::Error>> RemoteDesktopPasteShortcut::send() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    // The desktop can end a session without a word, when its portal
    // restarts: a kept session that takes no key at all is replaced once. A
    // paste cut short is not typed again, or part of it would be typed twice.
    bool replaceable = !m_session.isEmpty();
    while (true) {
        QCoro::Task<core::Done<Error>> opening = requestAccess();
        const core::Done<Error> open = co_await std::move(opening);
        if (!self)
            co_return Error::notTyped;
        if (!open)
            co_return open.error();
        // Asked only now: the dialog may have changed which window is in front.
        const bool terminal = m_frontIsTerminal && m_frontIsTerminal();
        const int strokes = static_cast<int>(pasteStrokes(terminal).size());
        const QString session = m_session;
        QCoro::Task<int> typing = type(session, terminal);
        const int typed = co_await std::move(typing);
        if (!self)
            co_return Error::notTyped;
        if (typed == strokes)
            co_return core::Done<Error>(std::monostate{});
        // Unless its Closed signal came meanwhile.
        if (m_session == session) {
            closeSession(session);
            forgetSession();
        }
        if (!replaceable || typed != 0)
            co_return Error::notTyped;
        replaceable = false;
    }
}

QCoro::Task<> RemoteDesktopPasteShortcut::readToken() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    QCoro::Task<core::KeychainItem::Lookup> reading =
        m_keychain.read(core::KeychainItem::remoteDesktopToken());
    const core::KeychainItem::Lookup found = co_await std::move(reading);
    if (!self)
        co_return;
    m_tokenRead = true;
    // A session started while the keychain was slow to answer left a newer
    // token than the one read.
    if (found && m_token.isEmpty()) {
        const bool was = allowed();
        m_token = found.value();
        announce(was);
    }
    Q_EMIT m_listener->tokenRead();
}

QCoro::Task<core::Done<PasteShortcut::Error>> RemoteDesktopPasteShortcut::startSession() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    if (!m_tokenRead) {
        // Without the token the user would be asked again. A keychain that
        // keeps its prompt open only delays the paste up to the time-out.
        co_await qCoro(m_listener.get(), &Listener::tokenRead, m_timeout);
        if (!self)
            co_return Error::refused;
    }

    QCoro::Task<Answer> creating = m_portal->createSession(m_timeout);
    const Answer created = co_await std::move(creating);
    if (!self)
        co_return Error::refused;
    const QString session = PortalRequest::sessionOf(created);
    if (created.code != Answer::granted || session.isEmpty())
        co_return giveUp(created, {}, false);

    QVariantMap selection{{QStringLiteral("types"), keyboardDevice},
                          {QStringLiteral("persist_mode"), persistUntilRevoked}};
    const QString spent = m_token;
    if (!spent.isEmpty())
        selection.insert(QStringLiteral("restore_token"), spent);
    QCoro::Task<Answer> selecting = m_portal->request(
        QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session))},
        std::move(selection), m_timeout);
    const Answer selected = co_await std::move(selecting);
    if (!self)
        co_return Error::refused;
    if (selected.code != Answer::granted)
        co_return giveUp(selected, session, true);

    // No window of ours to put the dialog over.
    QCoro::Task<Answer> starting = m_portal->request(
        QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session)), QString()}, {},
        m_timeout);
    const Answer started = co_await std::move(starting);
    if (!self)
        co_return Error::refused;
    if (started.code != Answer::granted)
        co_return giveUp(started, session, true);
    // A desktop that lets the user untick the keyboard may start a session
    // that cannot type: that is a refusal.
    const uint devices = started.results.value(QStringLiteral("devices"), keyboardDevice).toUInt();
    if ((devices & keyboardDevice) == 0)
        co_return giveUp({Answer::refused, {}}, session, true);

    const bool was = allowed();
    m_session = session;
    // The token given to SelectDevices is spent: keep the new one, or none
    // when the user did not let the permission outlast this run.
    const QString given = started.results.value(QStringLiteral("restore_token")).toString();
    if (!given.isEmpty())
        keepToken(given);
    else if (!spent.isEmpty())
        forgetToken();
    announce(was);
    co_return core::Done<Error>(std::monostate{});
}

QCoro::Task<int> RemoteDesktopPasteShortcut::type(QString session, bool terminal) {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    const QVariant path = QVariant::fromValue(QDBusObjectPath(session));
    // Indexed by PasteKey.
    std::array<bool, keycodes.size()> down{};
    int typed = 0;
    for (const PasteStroke stroke : pasteStrokes(terminal)) {
        const QDBusPendingCall pending =
            m_portal->bus().asyncCall(keystroke(*m_portal, path, stroke));
        const QDBusMessage reply = co_await pending;
        if (!self)
            co_return typed;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            // A modifier left down would spoil every key the user types next.
            for (std::size_t key = down.size(); key-- > 0;) {
                if (down[key])
                    m_portal->bus().send(
                        keystroke(*m_portal, path, {static_cast<PasteKey>(key), false}));
            }
            co_return typed;
        }
        ++typed;
        down[static_cast<std::size_t>(stroke.key)] = stroke.down;
    }
    co_return typed;
}

PasteShortcut::Error RemoteDesktopPasteShortcut::giveUp(const Answer& answer,
                                                        const QString& session, bool tokenSpent) {
    if (!session.isEmpty())
        closeSession(session);
    if (answer.code == Answer::refused)
        qCInfo(portalLog) << "the desktop did not let us type";
    // A token handed over is spent whatever came of it.
    if (answer.code == Answer::refused || tokenSpent) {
        const bool was = allowed();
        forgetToken();
        announce(was);
    }
    return Error::refused;
}

void RemoteDesktopPasteShortcut::keepToken(const QString& token) {
    m_token = token;
    reportFailure(m_keychain.store(core::KeychainItem::remoteDesktopToken(), token),
                  "the desktop's permission could not be kept:");
}

void RemoteDesktopPasteShortcut::forgetToken() {
    if (m_token.isEmpty())
        return;
    m_token.clear();
    reportFailure(m_keychain.remove(core::KeychainItem::remoteDesktopToken()),
                  "the spent permission could not be removed:");
}

void RemoteDesktopPasteShortcut::forgetSession() {
    const bool was = allowed();
    m_session.clear();
    announce(was);
}

void RemoteDesktopPasteShortcut::closeSession(const QString& session) {
    m_portal->closeSession(session);
}

void RemoteDesktopPasteShortcut::announce(bool wasAllowed) {
    if (allowed() != wasAllowed)
        Q_EMIT allowedChanged();
}

} // namespace parlova::platform

#include "RemoteDesktopPasteShortcut.moc"
