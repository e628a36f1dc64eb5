#pragma once

#include "app/controllers/DictationController.h"
#include "app/fake/FakeClock.h"
#include "app/fake/RecordingPill.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"
#include "platform/fake/FakeKeyMonitor.h"
#include "platform/fake/FakePermissions.h"
#include "platform/fake/FakeTextInserter.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace parlova::test {

// The dictation controller over scripted keys, paste, permissions and pill
// and a clock moved by hand, with its preferences and takes in a folder of
// its own and the in-memory keychain, unless the test brings another one.
// The test picks the recorder and the way to the relay in startWith().
struct ControllerDesk {
    QTemporaryDir dir;
    core::MemorySecretStore memory;
    core::SecretStore& secrets;
    core::AsyncKeychain keychain{secrets};
    app::FakeClock clock;
    std::shared_ptr<QSettings> settings =
        std::make_shared<QSettings>(dir.filePath(QStringLiteral("p.conf")), QSettings::IniFormat);
    platform::FakeKeyMonitor* keys = new platform::FakeKeyMonitor;
    platform::FakeTextInserter* inserter = new platform::FakeTextInserter;
    platform::FakePermissions* permissions = new platform::FakePermissions;
    app::RecordingPill* pill = new app::RecordingPill;
    std::unique_ptr<app::DictationController> controller;

    explicit ControllerDesk(core::SecretStore* store = nullptr)
        : secrets(store ? *store : memory) {
        QDir(dir.path()).mkpath(QStringLiteral("prises"));
    }

    QString takeFolder() const { return dir.filePath(QStringLiteral("prises")); }
    int takesLeft() const { return QDir(takeFolder()).entryList(QDir::Files).size(); }

    void startWith(platform::Recorder* recorder, std::shared_ptr<core::RelayTransport> transport) {
        controller = std::make_unique<app::DictationController>(
            app::DictationController::Devices{std::unique_ptr<platform::KeyMonitor>(keys),
                                              std::unique_ptr<platform::Recorder>(recorder),
                                              std::unique_ptr<platform::TextInserter>(inserter),
                                              std::unique_ptr<platform::Permissions>(permissions),
                                              std::unique_ptr<app::Pill>(pill)},
            core::SettingsStore(settings), keychain, clock, std::move(transport));
        core::waitFor(controller->start());
    }
};

} // namespace parlova::test
