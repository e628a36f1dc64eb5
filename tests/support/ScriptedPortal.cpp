#include "ScriptedPortal.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QHash>

namespace parlova::test {

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString root = QStringLiteral("/org/freedesktop/portal/desktop");
const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr uint keyboard = 1;

// The names of each method's arguments, in order, as documented.
const QHash<QString, QStringList> argumentNames{
    {QStringLiteral("CreateSession"), {QStringLiteral("options")}},
    {QStringLiteral("SelectDevices"),
     {QStringLiteral("session_handle"), QStringLiteral("options")}},
    {QStringLiteral("Start"),
     {QStringLiteral("session_handle"), QStringLiteral("parent_window"),
      QStringLiteral("options")}},
    {QStringLiteral("NotifyKeyboardKeycode"),
     {QStringLiteral("session_handle"), QStringLiteral("options"), QStringLiteral("keycode"),
      QStringLiteral("state")}},
    {QStringLiteral("Get"), {QStringLiteral("interface_name"), QStringLiteral("property_name")}},
    {QStringLiteral("GetAll"), {QStringLiteral("interface_name")}},
    {QStringLiteral("BindShortcuts"),
     {QStringLiteral("session_handle"), QStringLiteral("shortcuts"),
      QStringLiteral("parent_window"), QStringLiteral("options")}},
    {QStringLiteral("ConfigureShortcuts"),
     {QStringLiteral("session_handle"), QStringLiteral("parent_window"),
      QStringLiteral("options")}},
};

// An a(sa{sv}) list of shortcuts, as {"id": …, and its properties} maps.
QVariantList shortcutsIn(const QDBusArgument& list) {
    QVariantList shortcuts;
    list.beginArray();
    while (!list.atEnd()) {
        QString id;
        QVariantMap properties;
        list.beginStructure();
        list >> id >> properties;
        list.endStructure();
        properties.insert(QStringLiteral("id"), id);
        shortcuts << properties;
    }
    list.endArray();
    return shortcuts;
}

QVariant plain(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return plain(value.value<QDBusVariant>().variant());
    return value;
}

// Vardicts arrive still marshalled: nothing told the bus their type.
QVariantMap flatten(const QString& method, const QVariantList& values) {
    const QStringList names = argumentNames.value(method);
    QVariantMap arguments;
    for (qsizetype index = 0; index < values.size(); ++index) {
        const QVariant& value = values.at(index);
        if (value.metaType() == QMetaType::fromType<QDBusArgument>() &&
            value.value<QDBusArgument>().currentSignature() == QLatin1String("a(sa{sv})")) {
            arguments.insert(names.value(index), shortcutsIn(value.value<QDBusArgument>()));
        } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
            const QVariantMap options = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
            for (auto entry = options.begin(); entry != options.end(); ++entry)
                arguments.insert(entry.key(), plain(entry.value()));
        } else {
            arguments.insert(names.value(index, QString::number(index)), plain(value));
        }
    }
    return arguments;
}

// One entry of the lists the portal sends back.
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

} // namespace

} // namespace parlova::test

Q_DECLARE_METATYPE(parlova::test::PortalShortcut)

namespace parlova::test {

namespace {

QVariant shortcutList(const QString& id, const QString& trigger) {
    return QVariant::fromValue(QList<PortalShortcut>{
        {id,
         {{QStringLiteral("description"), QStringLiteral("Maintenir pour dicter")},
          {QStringLiteral("trigger_description"), trigger}}}});
}

} // namespace

ScriptedPortal::ScriptedPortal(QDBusConnection bus, QObject* parent)
    : QDBusVirtualObject(parent)
    , m_bus(std::move(bus)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_properties[remoteDesktopInterface] = {{QStringLiteral("AvailableDeviceTypes"), keyboard},
                                            {QStringLiteral("version"), 2u}};
    m_properties[shortcutsInterface] = {{QStringLiteral("version"), 2u}};
    m_registered = m_bus.registerVirtualObject(root, this, QDBusConnection::SubPath) &&
                   m_bus.registerService(service);
}

ScriptedPortal::~ScriptedPortal() {
    m_bus.unregisterService(service);
    m_bus.unregisterObject(root, QDBusConnection::UnregisterTree);
}

void ScriptedPortal::closeSessions() {
    for (auto open = m_sessions.begin(); open != m_sessions.end(); ++open) {
        QDBusMessage closed = QDBusMessage::createTargetedSignal(
            open->owner, open.key(), sessionInterface, QStringLiteral("Closed"));
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

QString ScriptedPortal::introspect(const QString&) const {
    return {};
}

bool ScriptedPortal::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QVariantMap arguments = flatten(message.member(), message.arguments());
    m_calls << Call{message.interface(), message.member(), arguments, message.path()};

    if (message.interface() == propertiesInterface) {
        properties(message, arguments);
    } else if (message.interface() == remoteDesktopInterface && message.path() == root) {
        remoteDesktop(message, arguments);
    } else if (message.interface() == shortcutsInterface && message.path() == root) {
        globalShortcuts(message, arguments);
    } else if (message.interface() == requestInterface &&
               message.member() == QLatin1String("Close")) {
        m_bus.send(message.createReply());
    } else if (message.interface() == sessionInterface &&
               message.member() == QLatin1String("Close")) {
        m_sessions.remove(message.path());
        m_bus.send(message.createReply());
    } else {
        m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
    }
    return true;
}

void ScriptedPortal::properties(const QDBusMessage& message, const QVariantMap& arguments) {
    const QVariantMap values = m_properties.value(arguments.value("interface_name").toString());
    if (message.member() == QLatin1String("GetAll")) {
        m_bus.send(message.createReply(values));
        return;
    }
    const QString name = arguments.value("property_name").toString();
    if (message.member() != QLatin1String("Get") || !values.contains(name)) {
        m_bus.send(message.createErrorReply(QDBusError::InvalidArgs, name));
        return;
    }
    m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(values.value(name)))));
}

void ScriptedPortal::createSession(const QDBusMessage& message, const QVariantMap& arguments) {
    const QString path = handle(QStringLiteral("session"), message,
                                arguments.value("session_handle_token").toString());
    m_sessions[path] = Session{message.service()};
    // A string, as the portal itself sends it.
    answer(message, arguments, 0, {{QStringLiteral("session_handle"), path}});
}

void ScriptedPortal::globalShortcuts(const QDBusMessage& message, const QVariantMap& arguments) {
    const QString method = message.member();
    if (method == QLatin1String("CreateSession")) {
        createSession(message, arguments);
        return;
    }
    if (sessionOf(message, arguments) == nullptr) {
        m_bus.send(
            message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("no such session")));
    } else if (method == QLatin1String("BindShortcuts")) {
        const QVariantList asked = arguments.value("shortcuts").toList();
        const QString id =
            asked.isEmpty() ? QString() : asked.constFirst().toMap().value("id").toString();
        answer(message, arguments, 0,
               {{QStringLiteral("shortcuts"), shortcutList(id, m_boundTrigger)}});
    } else {
        m_bus.send(message.createReply());
    }
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

void ScriptedPortal::activate(const QString& id, quint64 milliseconds) {
    emitShortcutSignal(QStringLiteral("Activated"),
                       {id, QVariant::fromValue(milliseconds), QVariantMap()});
}

void ScriptedPortal::deactivate(const QString& id, quint64 milliseconds) {
    emitShortcutSignal(QStringLiteral("Deactivated"),
                       {id, QVariant::fromValue(milliseconds), QVariantMap()});
}

void ScriptedPortal::changeTrigger(const QString& id, const QString& trigger) {
    emitShortcutSignal(QStringLiteral("ShortcutsChanged"), {shortcutList(id, trigger)});
}

void ScriptedPortal::leave() {
    m_bus.unregisterService(service);
}

void ScriptedPortal::remoteDesktop(const QDBusMessage& message, const QVariantMap& arguments) {
    const QString method = message.member();
    if (method == QLatin1String("CreateSession")) {
        createSession(message, arguments);
        return;
    }
    Session* const open = sessionOf(message, arguments);
    if (open == nullptr) {
        m_bus.send(
            message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("no such session")));
        return;
    }
    if (method == QLatin1String("SelectDevices")) {
        open->types = arguments.value("types", 7u).toUInt();
        open->persistMode = arguments.value("persist_mode", 0u).toUInt();
        // Single use: a token given back is spent, valid or not.
        open->restored = m_validTokens.removeAll(arguments.value("restore_token").toString()) > 0;
        answer(message, arguments, 0);
    } else if (method == QLatin1String("Start")) {
        std::optional<uint> code = 0;
        if (!open->restored) {
            ++m_questions;
            code = m_userAnswer;
        }
        QVariantMap results;
        if (code == 0u) {
            open->started = true;
            results.insert(QStringLiteral("devices"), open->types & keyboard);
            if (open->persistMode == 2) {
                m_issued << QStringLiteral("jeton-%1").arg(m_issued.size() + 1);
                m_validTokens << m_issued.constLast();
                results.insert(QStringLiteral("restore_token"), m_issued.constLast());
            }
        } else if (code) {
            m_sessions.remove(arguments.value("session_handle").toString());
        }
        answer(message, arguments, code, results);
    } else if (method == QLatin1String("NotifyKeyboardKeycode") && open->started) {
        m_bus.send(message.createReply());
    } else {
        m_bus.send(message.createErrorReply(QDBusError::AccessDenied, method));
    }
}

void ScriptedPortal::answer(const QDBusMessage& message, const QVariantMap& arguments,
                            std::optional<uint> code, const QVariantMap& results) {
    const QString path =
        handle(QStringLiteral("request"), message, arguments.value("handle_token").toString());
    if (code) {
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            message.service(), path, requestInterface, QStringLiteral("Response"));
        response << *code << results;
        m_bus.send(response);
    }
    m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
}

ScriptedPortal::Session* ScriptedPortal::sessionOf(const QDBusMessage& message,
                                                   const QVariantMap& arguments) {
    const auto found = m_sessions.find(arguments.value("session_handle").toString());
    if (found == m_sessions.end() || found->owner != message.service())
        return nullptr;
    return &*found;
}

QString ScriptedPortal::handle(const QString& kind, const QDBusMessage& message,
                               const QString& token) {
    QString sender = message.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString last = token.isEmpty() ? QStringLiteral("t%1").arg(++m_handles) : token;
    return root + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') + last;
}

} // namespace parlova::test
