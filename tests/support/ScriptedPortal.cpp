#include "ScriptedPortal.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QHash>

using namespace Qt::StringLiterals;

namespace parlova::test {

namespace {

const QString service = u"org.freedesktop.portal.Desktop"_s;
const QString root = u"/org/freedesktop/portal/desktop"_s;
const QString remoteDesktopInterface = u"org.freedesktop.portal.RemoteDesktop"_s;
const QString shortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;
const QString requestInterface = u"org.freedesktop.portal.Request"_s;
const QString sessionInterface = u"org.freedesktop.portal.Session"_s;

constexpr uint keyboard = 1;

// The names of each method's arguments, in order, as documented.
const QHash<QString, QString> argumentNames{
    {u"CreateSession"_s, u"options"_s},
    {u"SelectDevices"_s, u"session_handle options"_s},
    {u"Start"_s, u"session_handle parent_window options"_s},
    {u"NotifyKeyboardKeycode"_s, u"session_handle options keycode state"_s},
    {u"Get"_s, u"interface_name property_name"_s},
    {u"BindShortcuts"_s, u"session_handle shortcuts parent_window options"_s},
    {u"ConfigureShortcuts"_s, u"session_handle parent_window options"_s},
};

// One entry of an a(sa{sv}) list of shortcuts.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

QVariant plain(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return plain(value.value<QDBusVariant>().variant());
    return value;
}

} // namespace

} // namespace parlova::test

Q_DECLARE_METATYPE(parlova::test::PortalShortcut)

namespace parlova::test {

namespace {

// Vardicts arrive still marshalled: nothing told the bus their type. Their
// entries go among the arguments; shortcuts as {"id": …, and its
// properties} maps.
QVariantMap flatten(const QString& method, const QVariantList& values) {
    const QStringList names = argumentNames.value(method).split(u' ');
    QVariantMap arguments;
    for (qsizetype index = 0; index < values.size(); ++index) {
        const QVariant& value = values.at(index);
        const QString name = names.value(index, QString::number(index));
        if (value.metaType() != QMetaType::fromType<QDBusArgument>()) {
            arguments.insert(name, plain(value));
        } else if (value.value<QDBusArgument>().currentSignature() == u"a(sa{sv})") {
            QVariantList shortcuts;
            for (const PortalShortcut& shortcut :
                 qdbus_cast<QList<PortalShortcut>>(value.value<QDBusArgument>())) {
                QVariantMap entry = shortcut.properties;
                entry.insert(u"id"_s, shortcut.id);
                shortcuts << entry;
            }
            arguments.insert(name, shortcuts);
        } else {
            const QVariantMap options = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
            for (auto entry = options.begin(); entry != options.end(); ++entry)
                arguments.insert(entry.key(), plain(entry.value()));
        }
    }
    return arguments;
}

QVariant shortcutList(const QString& id, const QString& trigger) {
    return QVariant::fromValue(QList<PortalShortcut>{
        {id,
         {{u"description"_s, u"Maintenir pour dicter"_s}, {u"trigger_description"_s, trigger}}}});
}

} // namespace

ScriptedPortal::ScriptedPortal(QDBusConnection bus, QObject* parent)
    : QDBusVirtualObject(parent)
    , m_bus(std::move(bus)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_registered = m_bus.registerVirtualObject(root, this, QDBusConnection::SubPath) &&
                   m_bus.registerService(service);
}

ScriptedPortal::~ScriptedPortal() {
    m_bus.unregisterService(service);
    m_bus.unregisterObject(root, QDBusConnection::UnregisterTree);
}

void ScriptedPortal::closeSessions() {
    for (auto open = m_sessions.begin(); open != m_sessions.end(); ++open) {
        QDBusMessage closed = QDBusMessage::createTargetedSignal(open->owner, open.key(),
                                                                 sessionInterface, u"Closed"_s);
        closed << QVariantMap();
        m_bus.send(closed);
    }
    m_sessions.clear();
}

QList<ScriptedPortal::Call> ScriptedPortal::calls(const QString& method) const {
    QList<Call> found;
    for (const Call& call : m_calls) {
        if (call.method == method)
            found << call;
    }
    return found;
}

bool ScriptedPortal::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString method = message.member();
    const QVariantMap arguments = flatten(method, message.arguments());
    m_calls << Call{method, arguments, message.path()};
    const auto found = m_sessions.find(arguments.value("session_handle").toString());
    Session* const open =
        found != m_sessions.end() && found->owner == message.service() ? &*found : nullptr;
    const bool ours = message.path() == root && (message.interface() == remoteDesktopInterface ||
                                                 message.interface() == shortcutsInterface);

    if (message.interface() == u"org.freedesktop.DBus.Properties") {
        // Both interfaces are at version 2; a keyboard is all there is.
        const QString interface = arguments.value("interface_name").toString();
        const QString name = arguments.value("property_name").toString();
        const bool remote = interface == remoteDesktopInterface;
        if (name == u"version" && (remote || interface == shortcutsInterface))
            m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(2u))));
        else if (remote && name == u"AvailableDeviceTypes")
            m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(keyboard))));
        else
            m_bus.send(message.createErrorReply(QDBusError::InvalidArgs, name));
    } else if (ours && method == u"CreateSession") {
        const QString path =
            handle(u"session"_s, message, arguments.value("session_handle_token").toString());
        m_sessions[path] = Session{message.service()};
        // A string, as the portal itself sends it.
        answer(message, arguments, 0, {{u"session_handle"_s, path}});
    } else if (ours && open == nullptr) {
        m_bus.send(message.createErrorReply(QDBusError::AccessDenied, u"no such session"_s));
    } else if (ours && message.interface() == shortcutsInterface) {
        if (method == u"BindShortcuts") {
            const QVariantList asked = arguments.value("shortcuts").toList();
            const QString id =
                asked.isEmpty() ? QString() : asked.constFirst().toMap().value("id").toString();
            answer(message, arguments, 0, {{u"shortcuts"_s, shortcutList(id, m_boundTrigger)}});
        } else {
            m_bus.send(message.createReply());
        }
    } else if (ours) {
        remoteDesktop(message, arguments, *open);
    } else if (method == u"Close" && (message.interface() == requestInterface ||
                                      message.interface() == sessionInterface)) {
        m_sessions.remove(message.path());
        m_bus.send(message.createReply());
    } else {
        m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, method));
    }
    return true;
}

void ScriptedPortal::emitShortcutSignal(const QString& name, const QVariantList& arguments) {
    for (auto open = m_sessions.begin(); open != m_sessions.end(); ++open) {
        QDBusMessage signal =
            QDBusMessage::createTargetedSignal(open->owner, root, shortcutsInterface, name);
        signal.setArguments(QVariantList{QVariant::fromValue(QDBusObjectPath(open.key()))} +
                            arguments);
        m_bus.send(signal);
    }
}

void ScriptedPortal::changeTrigger(const QString& id, const QString& trigger) {
    emitShortcutSignal(u"ShortcutsChanged"_s, {shortcutList(id, trigger)});
}

void ScriptedPortal::leave() {
    m_bus.unregisterService(service);
}

void ScriptedPortal::remoteDesktop(const QDBusMessage& message, const QVariantMap& arguments,
                                   Session& open) {
    const QString method = message.member();
    if (method == u"SelectDevices") {
        open.types = arguments.value("types", 7u).toUInt();
        open.persistMode = arguments.value("persist_mode", 0u).toUInt();
        // Single use: a token given back is spent, valid or not.
        open.restored = m_validTokens.removeAll(arguments.value("restore_token").toString()) > 0;
        answer(message, arguments, 0);
    } else if (method == u"Start") {
        std::optional<uint> code = 0;
        if (!open.restored) {
            ++m_questions;
            code = m_userAnswer;
        }
        QVariantMap results;
        if (code == 0u) {
            open.started = true;
            results.insert(u"devices"_s, open.types & keyboard);
            if (open.persistMode == 2) {
                m_issued << u"jeton-%1"_s.arg(m_issued.size() + 1);
                m_validTokens << m_issued.constLast();
                results.insert(u"restore_token"_s, m_issued.constLast());
            }
        } else if (code) {
            m_sessions.remove(arguments.value("session_handle").toString());
        }
        answer(message, arguments, code, results);
    } else if (method == u"NotifyKeyboardKeycode" && open.started) {
        m_bus.send(message.createReply());
    } else {
        m_bus.send(message.createErrorReply(QDBusError::AccessDenied, method));
    }
}

void ScriptedPortal::answer(const QDBusMessage& message, const QVariantMap& arguments,
                            std::optional<uint> code, const QVariantMap& results) {
    const QString path = handle(u"request"_s, message, arguments.value("handle_token").toString());
    if (code) {
        QDBusMessage response = QDBusMessage::createTargetedSignal(message.service(), path,
                                                                   requestInterface, u"Response"_s);
        response << *code << results;
        m_bus.send(response);
    }
    m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
}

QString ScriptedPortal::handle(const QString& kind, const QDBusMessage& message,
                               const QString& token) {
    QString sender = message.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString last = token.isEmpty() ? u"t%1"_s.arg(++m_handles) : token;
    return root + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') + last;
}

} // namespace parlova::test
