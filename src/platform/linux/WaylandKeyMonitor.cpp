#include "platform/linux/WaylandKeyMonitor.h"

#include "platform/linux/CompositorIpc.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/GlobalShortcutsKeyMonitor.h"

#include <QPointer>

namespace parlova::platform {

namespace {

// Monitors alive in this process with a working door (one in practice).
int workingMonitors = 0;

// The doors that need no udev rule; the keyboards' readiness is the
// permissions' own question.
bool opensWithoutRule(const KeyMonitor::Source& door) {
    return door.kind == KeyMonitor::Source::Kind::desktopShortcut ||
           door.kind == KeyMonitor::Source::Kind::compositorBinding;
}

} // namespace

WaylandKeyMonitor::WaylandKeyMonitor(QDBusConnection bus, QObject* parent)
    : KeyMonitor(parent)
    , m_bus(std::move(bus))
    , m_portal(new GlobalShortcutsKeyMonitor(m_bus, this))
    , m_keyboards(new EvdevKeyMonitor(this)) {
    for (KeyMonitor* door :
         {static_cast<KeyMonitor*>(m_portal), static_cast<KeyMonitor*>(m_keyboards)})
        connect(door, &KeyMonitor::event, this, &KeyMonitor::event);
    connect(m_portal, &GlobalShortcutsKeyMonitor::boundChanged, this,
            &WaylandKeyMonitor::refreshSource);
    connect(m_portal, &GlobalShortcutsKeyMonitor::triggerChanged, this,
            &WaylandKeyMonitor::refreshSource);
    probePortal();
}

WaylandKeyMonitor::~WaylandKeyMonitor() {
    if (opensWithoutRule(m_source))
        --workingMonitors;
}

bool WaylandKeyMonitor::anySourceWorks() {
    return workingMonitors > 0;
}

QCoro::Task<> WaylandKeyMonitor::probePortal() {
    QPointer<WaylandKeyMonitor> self(this);
    QCoro::Task<bool> asking = GlobalShortcutsKeyMonitor::offered(m_bus);
    const bool offered = co_await std::move(asking);
    if (!self)
        co_return;
    m_portalOffered = offered;
    if (offered && m_started)
        m_portal->start();
}

void WaylandKeyMonitor::setHoldKey(core::HoldKey key) {
    const bool changed = key != holdKey();
    m_keyboards->setHoldKey(key);
    m_portal->setHoldKey(key);
    // The portal's preferred trigger follows the setting on the next bind.
    if (changed && m_started && m_portalOffered.value_or(false))
        m_portal->start();
}

core::HoldKey WaylandKeyMonitor::holdKey() const {
    return m_keyboards->holdKey();
}

core::Done<KeyMonitor::Error> WaylandKeyMonitor::start() {
    // Started again when access is granted: the keyboards may open now, but
    // a portal session already bound stays, or every grant would rebind it.
    m_keyboards->start();
    m_keyboardsOpen = m_keyboards->keyboardCount() > 0;
    if (!m_started && m_portalOffered.value_or(false))
        m_portal->start();
    m_started = true;
    m_bindings = m_bindings || CompositorIpc::bindsHoldKey();
    refreshSource();
    // The bindings need nothing started: a compositor may be set up for
    // them at any time.
    return std::monostate{};
}

void WaylandKeyMonitor::stop() {
    m_started = false;
    m_keyboards->stop();
    m_portal->stop();
    m_keyboardsOpen = false;
    refreshSource();
}

KeyMonitor::Source WaylandKeyMonitor::source() const {
    return m_source;
}

void WaylandKeyMonitor::noteHandedOver() {
    if (m_bindings)
        return;
    m_bindings = true;
    refreshSource();
}

void WaylandKeyMonitor::configureShortcut() {
    if (m_portal->bound() && m_portal->canConfigure())
        m_portal->configure();
}

void WaylandKeyMonitor::refreshSource() {
    Source source{Source::Kind::none, {}, false};
    if (m_portal->bound())
        source = {Source::Kind::desktopShortcut, m_portal->trigger(), m_portal->canConfigure()};
    else if (m_bindings)
        source.kind = Source::Kind::compositorBinding;
    else if (m_keyboardsOpen)
        source.kind = Source::Kind::keyboards;
    if (source == m_source)
        return;
    workingMonitors += int(opensWithoutRule(source)) - int(opensWithoutRule(m_source));
    m_source = source;
    Q_EMIT sourceChanged();
}

} // namespace parlova::platform
