#include "platform/linux/GlobalShortcutsKeyMonitor.h"

#include "core/program/SingleInstance.h"
#include "core/texts/Catalog.h"
#include "platform/linux/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QPointer>

#include <array>
#include <chrono>
#include <utility>

namespace parlova::platform {

namespace {

Q_LOGGING_CATEGORY(shortcutLog, "parlova.keys.portal")

const QString& portalService = PortalRequest::service;
const QString& portalPath = PortalRequest::objectPath;
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
// The desktop may show its dialog, where the user takes their time.
constexpr std::chrono::milliseconds bindTimeout = std::chrono::minutes(2);

// One entry of the portal's a(sa{sv}) lists.
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

} // namespace parlova::platform

Q_DECLARE_METATYPE(parlova::platform::Shortcut)

namespace parlova::platform {

namespace {

// Our shortcut's trigger in a list the portal sent; empty when the list
// leaves the shortcut out or gives it none.
QString triggerIn(const QVariant& list) {
    if (list.metaType() != QMetaType::fromType<QDBusArgument>())
        return QString();
    const auto shortcuts = qdbus_cast<QList<Shortcut>>(list.value<QDBusArgument>());
    for (const Shortcut& shortcut : shortcuts) {
        if (shortcut.id == QLatin1String(GlobalShortcutsKeyMonitor::shortcutId))
            return shortcut.properties.value(QStringLiteral("trigger_description")).toString();
    }
    return QString();
}

} // namespace

GlobalShortcutsKeyMonitor::GlobalShortcutsKeyMonitor(QDBusConnection bus, QObject* parent)
    : KeyMonitor(parent)
    , m_portal(new PortalRequest(bus, shortcutsInterface, this))
    , m_watcher(new QDBusServiceWatcher(portalService, bus,
                                        QDBusServiceWatcher::WatchForUnregistration, this)) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &GlobalShortcutsKeyMonitor::lose);
    connect(m_portal, &PortalRequest::sessionClosed, this, [this](const QString& session) {
        if (session == m_session)
            lose();
    });
}

GlobalShortcutsKeyMonitor::~GlobalShortcutsKeyMonitor() {
    if (bound())
        m_portal->closeSession(m_session);
}

QCoro::Task<bool> GlobalShortcutsKeyMonitor::offered(QDBusConnection bus) {
    PortalRequest portal(std::move(bus), shortcutsInterface);
    QCoro::Task<core::Result<QVariant, PortalRequest::Error>> asking =
        portal.property(QStringLiteral("version"));
    const core::Result<QVariant, PortalRequest::Error> version = co_await std::move(asking);
    co_return version.ok();
}

QString GlobalShortcutsKeyMonitor::preferredTrigger(core::HoldKey key) {
    // The shortcuts notation names keys by their xkbcommon keysym; a
    // modifier held on its own is just its key, with no "+".
    switch (key) {
    case core::HoldKey::function:
        return QStringLiteral("XF86Fn");
    case core::HoldKey::rightOption:
        return QStringLiteral("Alt_R");
    case core::HoldKey::rightControl:
        return QStringLiteral("Control_R");
    case core::HoldKey::rightCommand:
        return QStringLiteral("Super_R");
    }
    return QStringLiteral("Control_R");
}

core::Done<KeyMonitor::Error> GlobalShortcutsKeyMonitor::start() {
    stop();
    if (!m_portal->bus().isConnected())
        return Error::noSessionBus;
    bind(m_generation);
    return std::monostate{};
}

void GlobalShortcutsKeyMonitor::stop() {
    ++m_generation;
    m_pressed.reset();
    if (!bound())
        return;
    listen(false);
    m_portal->closeSession(m_session);
    m_session.clear();
    setTrigger(QString());
    Q_EMIT boundChanged();
}

QCoro::Task<> GlobalShortcutsKeyMonitor::bind(unsigned generation) {
    using Answer = PortalRequest::Answer;
    const QPointer<GlobalShortcutsKeyMonitor> self(this);
    QCoro::Task<core::Result<QVariant, PortalRequest::Error>> asking =
        m_portal->property(QStringLiteral("version"));
    const core::Result<QVariant, PortalRequest::Error> version = co_await std::move(asking);
    if (!self || generation != m_generation || !version)
        co_return;
    m_version = version->toUInt();

    QCoro::Task<Answer> creating = m_portal->createSession(bindTimeout);
    const Answer created = co_await std::move(creating);
    if (!self)
        co_return;
    const QString session = PortalRequest::sessionOf(created);
    if (created.code != Answer::granted || session.isEmpty())
        co_return;
    if (generation != m_generation) {
        m_portal->closeSession(session);
        co_return;
    }

    // A new session each time, under the same id: the portal binds a
    // session's shortcuts only once.
    const QList<Shortcut> shortcuts{
        {QString::fromLatin1(shortcutId),
         {{QStringLiteral("description"), core::Catalog::text("key.shortcutDescription")},
          {QStringLiteral("preferred_trigger"), preferredTrigger(m_holdKey)}}}};
    // No window of ours to put the dialog over.
    QCoro::Task<Answer> binding = m_portal->request(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts), QString()},
        {}, bindTimeout);
    const Answer answer = co_await std::move(binding);
    if (!self)
        co_return;
    if (generation != m_generation || answer.code != Answer::granted) {
        if (answer.code == Answer::refused)
            qCInfo(shortcutLog) << "the desktop did not bind the hold key";
        m_portal->closeSession(session);
        co_return;
    }
    m_session = session;
    listen(true);
    // A desktop that refused the trigger may still have bound the shortcut
    // without one, for the user to set in its settings.
    setTrigger(triggerIn(answer.results.value(QStringLiteral("shortcuts"))));
    Q_EMIT boundChanged();
}

void GlobalShortcutsKeyMonitor::configure() {
    if (!bound() || !canConfigure())
        return;
    m_portal->bus().send(m_portal->call(
        QStringLiteral("ConfigureShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QString(), QVariantMap()}));
}

bool GlobalShortcutsKeyMonitor::ours(const QDBusMessage& message) const {
    const QVariantList arguments = message.arguments();
    return bound() && arguments.size() >= 3 &&
           arguments.at(0).value<QDBusObjectPath>().path() == m_session &&
           arguments.at(1).toString() == QLatin1String(shortcutId);
}

void GlobalShortcutsKeyMonitor::onActivated(const QDBusMessage& message) {
    // A press while held is the desktop's key repeat.
    if (!ours(message) || m_pressed)
        return;
    // Desktops stamp on a clock of their choosing, the wall clock for some:
    // the press is placed on the monotonic clock of the other doors (a
    // compositor binding may hand the release over), and the release keeps
    // the desktop's own duration from it.
    const double at = core::SingleInstance::monotonicNow();
    m_pressed = Press{message.arguments().at(2).toULongLong(), at};
    Q_EMIT event(core::HoldMachine::Event::keyDown(at));
}

void GlobalShortcutsKeyMonitor::onDeactivated(const QDBusMessage& message) {
    // A release of a press we never saw says nothing.
    if (!ours(message) || !m_pressed)
        return;
    const Press press = *m_pressed;
    m_pressed.reset();
    // As doubles, exact for any stamp in milliseconds: a release stamped
    // before its press comes out as a negative hold, which the hold machine
    // drops as a tap, rather than wrapping around to an endless one.
    const double held = (static_cast<double>(message.arguments().at(2).toULongLong()) -
                         static_cast<double>(press.portalMilliseconds)) /
                        1000.0;
    Q_EMIT event(core::HoldMachine::Event::keyUp(press.at + held));
}

void GlobalShortcutsKeyMonitor::onShortcutsChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (!bound() || arguments.size() < 2 ||
        arguments.at(0).value<QDBusObjectPath>().path() != m_session)
        return;
    setTrigger(triggerIn(arguments.at(1)));
}

void GlobalShortcutsKeyMonitor::setTrigger(const QString& trigger) {
    if (trigger == m_trigger)
        return;
    m_trigger = trigger;
    Q_EMIT triggerChanged();
}

void GlobalShortcutsKeyMonitor::lose() {
    if (!bound())
        return;
    // Cancelled rather than released: when the key went up is unknown, and
    // a release at a guess could send a take cut short.
    if (m_pressed) {
        m_pressed.reset();
        Q_EMIT event(core::HoldMachine::Event::otherKeyPressed());
    }
    listen(false);
    // Nothing to close: the desktop ended the session, or its portal is
    // gone, and a Close would only start a new one.
    m_portal->forgetSession(m_session);
    m_session.clear();
    setTrigger(QString());
    Q_EMIT boundChanged();
}

void GlobalShortcutsKeyMonitor::listen(bool on) {
    QDBusConnection bus = m_portal->bus();
    const std::array<std::pair<QString, const char*>, 3> watched{
        {{QStringLiteral("Activated"), SLOT(onActivated(QDBusMessage))},
         {QStringLiteral("Deactivated"), SLOT(onDeactivated(QDBusMessage))},
         {QStringLiteral("ShortcutsChanged"), SLOT(onShortcutsChanged(QDBusMessage))}}};
    for (const auto& [name, slot] : watched) {
        if (on)
            bus.connect(portalService, portalPath, shortcutsInterface, name, this, slot);
        else
            bus.disconnect(portalService, portalPath, shortcutsInterface, name, this, slot);
    }
}

} // namespace parlova::platform
