#include "platform/linux/RemoteDesktopPasteShortcut.h"

#include "core/KeychainItem.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QPointer>
#include <QRandomGenerator>

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroSignal>

#include <linux/input-event-codes.h>

#include <array>
#include <map>
#include <optional>
#include <utility>

namespace parlova::platform {

namespace {

Q_LOGGING_CATEGORY(portalLog, "parlova.paste.portal")

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint keyboardDevice = 1;
// Until the user revokes it in the desktop's settings.
constexpr uint persistUntilRevoked = 2;

// Evdev codes, which the desktop reads with the user's own layout; in the
// order of PasteKey.
constexpr std::array<int, 3> keycodes{KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_V};

QDBusMessage keystroke(const QVariant& session, PasteStroke stroke) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, remoteDesktopInterface, QStringLiteral("NotifyKeyboardKeycode"));
    call.setArguments({session, QVariantMap(), keycodes[static_cast<std::size_t>(stroke.key)],
                       stroke.down ? 1u : 0u});
    return call;
}

QCoro::Task<> reportFailure(QCoro::Task<qint32> call, const char* what) {
    const qint32 status = co_await std::move(call);
    if (status != core::SecretStore::success && status != core::SecretStore::itemNotFound)
        qCWarning(portalLog).noquote() << what << core::SecretStore::message(status);
}

} // namespace

// The outcome of one portal request, as its Response signal gives it.
struct RemoteDesktopPasteShortcut::Answer {
    static constexpr uint granted = 0;
    static constexpr uint refused = 1;
    // Anything else: the portal's own "other" code, a call it rejected, no
    // answer in time.
    static constexpr uint failed = 2;

    uint code = failed;
    QVariantMap results;
};

// Receives the portal's signals. An answer is kept from the moment it
// arrives, since a request can be answered before the reply to the call that
// made it comes in.
class RemoteDesktopPasteShortcut::Listener final : public QObject {
    Q_OBJECT

public:
    explicit Listener(QDBusConnection bus)
        : m_bus(std::move(bus)) {}

    void watchRequest(const QString& path) {
        m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    }

    void unwatchRequest(const QString& path) {
        m_bus.disconnect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
        m_answers.erase(path);
    }

    std::optional<Answer> take(const QString& path) {
        const auto found = m_answers.find(path);
        if (found == m_answers.end())
            return std::nullopt;
        Answer answer = std::move(found->second);
        m_answers.erase(found);
        return answer;
    }

    void watchSession(const QString& path) {
        m_bus.connect(portalService, path, sessionInterface, QStringLiteral("Closed"), this,
                      SLOT(onClosed(QDBusMessage)));
    }

    void unwatchSession(const QString& path) {
        m_bus.disconnect(portalService, path, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(onClosed(QDBusMessage)));
    }

Q_SIGNALS:
    void answered();
    void closed(QString session);
    void tokenRead();
    // The session start under way has ended, well or not.
    void settled();

private Q_SLOTS:
    void onResponse(uint code, const QVariantMap& results, const QDBusMessage& message) {
        m_answers[message.path()] = Answer{code, results};
        Q_EMIT answered();
    }

    void onClosed(const QDBusMessage& message) { Q_EMIT closed(message.path()); }

private:
    QDBusConnection m_bus;
    std::map<QString, Answer> m_answers;
};

RemoteDesktopPasteShortcut::RemoteDesktopPasteShortcut(core::SecretStore& keychain,
                                                       std::function<bool()> frontIsTerminal,
                                                       QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_frontIsTerminal(std::move(frontIsTerminal))
    , m_keychain(keychain)
    , m_listener(std::make_unique<Listener>(m_bus)) {
    connect(m_listener.get(), &Listener::closed, this, [this](const QString& session) {
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
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call.setArguments({remoteDesktopInterface, QStringLiteral("AvailableDeviceTypes")});
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    const QDBusPendingCall pending = m_bus.asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (!self || reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return false;
    const uint types = reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
    co_return (types & keyboardDevice) != 0;
}

QCoro::Task<bool> RemoteDesktopPasteShortcut::requestAccess() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    if (m_starting) {
        // A paste made while the user still has the dialog in front of them
        // takes its answer rather than opening a second dialog.
        co_await qCoro(m_listener.get(), &Listener::settled);
        if (!self)
            co_return false;
        co_return !m_session.isEmpty();
    }
    if (!m_session.isEmpty())
        co_return true;

    m_starting = true;
    QCoro::Task<bool> starting = startSession();
    const bool started = co_await std::move(starting);
    if (!self)
        co_return false;
    m_starting = false;
    Q_EMIT m_listener->settled();
    co_return started;
}

QCoro::Task<bool> RemoteDesktopPasteShortcut::send() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    // The desktop can end a session without a word, when its portal
    // restarts: a kept session that takes no key at all is replaced once. A
    // paste cut short is not typed again, or part of it would be typed twice.
    bool replaceable = !m_session.isEmpty();
    while (true) {
        QCoro::Task<bool> opening = requestAccess();
        const bool open = co_await std::move(opening);
        if (!self || !open)
            co_return false;
        // Asked only now: the dialog may have changed which window is in front.
        const bool terminal = m_frontIsTerminal && m_frontIsTerminal();
        const int strokes = static_cast<int>(pasteStrokes(terminal).size());
        const QString session = m_session;
        QCoro::Task<int> typing = type(session, terminal);
        const int typed = co_await std::move(typing);
        if (!self)
            co_return false;
        if (typed == strokes)
            co_return true;
        // Unless its Closed signal came meanwhile.
        if (m_session == session) {
            closeSession(session);
            forgetSession();
        }
        if (!replaceable || typed != 0)
            co_return false;
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

QCoro::Task<bool> RemoteDesktopPasteShortcut::startSession() {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    if (!m_tokenRead) {
        // Without the token the user would be asked again. A keychain that
        // keeps its prompt open only delays the paste up to the time-out.
        co_await qCoro(m_listener.get(), &Listener::tokenRead, m_timeout);
        if (!self)
            co_return false;
    }

    QCoro::Task<Answer> creating = request(QStringLiteral("CreateSession"), {},
                                           {{QStringLiteral("session_handle_token"), nextToken()}});
    const Answer created = co_await std::move(creating);
    if (!self)
        co_return false;
    // An object path in the documentation, a string from the portal itself.
    const QVariant handle = created.results.value(QStringLiteral("session_handle"));
    const QString session = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                                ? handle.value<QDBusObjectPath>().path()
                                : handle.toString();
    if (created.code != Answer::granted || session.isEmpty())
        co_return giveUp(created, {}, false);
    m_listener->watchSession(session);

    QVariantMap selection{{QStringLiteral("types"), keyboardDevice},
                          {QStringLiteral("persist_mode"), persistUntilRevoked}};
    const QString spent = m_token;
    if (!spent.isEmpty())
        selection.insert(QStringLiteral("restore_token"), spent);
    QCoro::Task<Answer> selecting =
        request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session))},
                std::move(selection));
    const Answer selected = co_await std::move(selecting);
    if (!self)
        co_return false;
    if (selected.code != Answer::granted)
        co_return giveUp(selected, session, true);

    // No window of ours to put the dialog over.
    QCoro::Task<Answer> starting = request(
        QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session)), QString()}, {});
    const Answer started = co_await std::move(starting);
    if (!self)
        co_return false;
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
    co_return true;
}

QCoro::Task<RemoteDesktopPasteShortcut::Answer>
RemoteDesktopPasteShortcut::request(QString method, QVariantList arguments, QVariantMap options) {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    // Our request paths are named after our name on the bus.
    if (!m_bus.isConnected())
        co_return Answer{};
    const QString token = nextToken();
    options.insert(QStringLiteral("handle_token"), token);
    // Listening before the call, at the path the portal will use: the
    // answer of a request that shows no dialog can come at once.
    QString path = handlePath(QStringLiteral("request"), token);
    m_listener->watchRequest(path);

    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktopInterface, method);
    arguments.append(options);
    call.setArguments(arguments);
    const QDBusPendingCall pending = m_bus.asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (!self)
        co_return Answer{};
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(portalLog).noquote() << method << "was rejected:" << reply.errorName();
        m_listener->unwatchRequest(path);
        co_return Answer{};
    }
    // Portals older than the handle_token option choose their own path.
    const QString given = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (!given.isEmpty() && given != path) {
        m_listener->unwatchRequest(path);
        path = given;
        m_listener->watchRequest(path);
    }

    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    while (true) {
        if (std::optional<Answer> answer = m_listener->take(path)) {
            m_listener->unwatchRequest(path);
            co_return std::move(*answer);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const auto heard = co_await qCoro(m_listener.get(), &Listener::answered, left);
        if (!self)
            co_return Answer{};
        if (!heard)
            break;
    }
    // A dialog nobody saw, or a desktop that never answers: the dialog must
    // not stay behind for a paste long given up.
    qCWarning(portalLog).noquote() << method << "got no answer in time";
    m_listener->unwatchRequest(path);
    m_bus.send(QDBusMessage::createMethodCall(portalService, path, requestInterface,
                                              QStringLiteral("Close")));
    co_return Answer{};
}

QCoro::Task<int> RemoteDesktopPasteShortcut::type(QString session, bool terminal) {
    const QPointer<RemoteDesktopPasteShortcut> self(this);
    const QVariant path = QVariant::fromValue(QDBusObjectPath(session));
    // Indexed by PasteKey.
    std::array<bool, keycodes.size()> down{};
    int typed = 0;
    for (const PasteStroke stroke : pasteStrokes(terminal)) {
        const QDBusPendingCall pending = m_bus.asyncCall(keystroke(path, stroke));
        const QDBusMessage reply = co_await pending;
        if (!self)
            co_return typed;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            // A modifier left down would spoil every key the user types next.
            for (std::size_t key = down.size(); key-- > 0;) {
                if (down[key])
                    m_bus.send(keystroke(path, {static_cast<PasteKey>(key), false}));
            }
            co_return typed;
        }
        ++typed;
        down[static_cast<std::size_t>(stroke.key)] = stroke.down;
    }
    co_return typed;
}

bool RemoteDesktopPasteShortcut::giveUp(const Answer& answer, const QString& session,
                                        bool tokenSpent) {
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
    return false;
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
    m_listener->unwatchSession(m_session);
    m_session.clear();
    announce(was);
}

void RemoteDesktopPasteShortcut::closeSession(const QString& session) {
    m_listener->unwatchSession(session);
    m_bus.send(QDBusMessage::createMethodCall(portalService, session, sessionInterface,
                                              QStringLiteral("Close")));
}

void RemoteDesktopPasteShortcut::announce(bool wasAllowed) {
    if (allowed() != wasAllowed)
        Q_EMIT allowedChanged();
}

QString RemoteDesktopPasteShortcut::handlePath(const QString& kind, const QString& token) const {
    // ":1.42" becomes "1_42".
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return portalPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') +
           token;
}

QString RemoteDesktopPasteShortcut::nextToken() {
    // Unique for this connection even with several of us on it.
    return QStringLiteral("parlova_%1_%2")
        .arg(++m_requests)
        .arg(QRandomGenerator::global()->generate());
}

} // namespace parlova::platform

#include "RemoteDesktopPasteShortcut.moc"
