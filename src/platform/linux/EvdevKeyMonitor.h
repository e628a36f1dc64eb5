#pragma once

#include "platform/KeyMonitor.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
struct input_event;

namespace parlova::platform {

// The key monitor of a Wayland session, where no program may watch another's
// keys through the compositor: every keyboard under /dev/input is read with
// libevdev (the user needs read access, see the help page). Keyboards plugged
// in later, or made readable later, are picked up through inotify; one that
// goes away is dropped quietly.
class EvdevKeyMonitor final : public KeyMonitor {
    Q_OBJECT

public:
    // `folder` holds the event nodes; /dev/input on a real system.
    explicit EvdevKeyMonitor(QObject* parent = nullptr);
    explicit EvdevKeyMonitor(QString folder, QObject* parent = nullptr);
    ~EvdevKeyMonitor() override;

    void setHoldKey(core::HoldKey key) override { m_holdKey = key; }
    core::HoldKey holdKey() const override { return m_holdKey; }

    core::Done<Error> start() override;
    void stop() override;

    // Keyboards currently read.
    int keyboardCount() const { return static_cast<int>(m_devices.size()); }

private:
    struct Device;

    void readWatch();
    void open(const QString& name);
    void read(Device* device);
    void drop(Device* device);
    void deliver(const input_event& input);

    const QString m_folder;
    core::HoldKey m_holdKey = core::HoldKey::standard;
    std::vector<std::unique_ptr<Device>> m_devices;
    int m_watch = -1;
    std::unique_ptr<QSocketNotifier> m_watchNotifier;
    std::vector<core::HoldMachine::Event> m_pending;
    std::uint64_t m_generation = 0;
};

} // namespace parlova::platform
