#pragma once

#include "RelayProcess.h"
#include "app/AppDelegate.h"
#include "app/controllers/SystemClock.h"
#include "app/pill/PillController.h"
#include "core/keychain/KeychainItem.h"
#include "platform/KeyMonitor.h"
#include "platform/Keychain.h"
#include "platform/Permissions.h"
#include "platform/TextInserter.h"
#include "platform/linux/QtAudioRecorder.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace parlova::test {

// Parlova as it runs on a desktop: the real keys, microphone, paste,
// permissions and keychain, signed in to a local relay; its preferences,
// autostart entry and takes in a folder of its own, no tray icon. made()
// builds it; the test launches it.
struct DesktopProgram {
    QTemporaryDir folder;
    RelayProcess relay;
    app::SystemClock clock;
    std::unique_ptr<core::AsyncKeychain> keychain;
    app::PillController* pill = nullptr;
    std::unique_ptr<app::AppDelegate> delegate;

    explicit DesktopProgram(RelayProcess::Settings settings = {})
        : relay(std::move(settings)) {}

    bool made(const QString& email) {
        if (!relay.start())
            return false;
        const QString token = relay.signIn(email);
        core::SecretStore& store = platform::Keychain::system();
        if (token.isEmpty() || core::KeychainItem::session().store(store, token) != 0)
            return false;
        keychain = std::make_unique<core::AsyncKeychain>(store);
        auto preferences = std::make_shared<QSettings>(
            folder.filePath(QStringLiteral("parlova.conf")), QSettings::IniFormat);
        preferences->setValue(QStringLiteral("relayURL"), relay.origin().toString());
        preferences->setValue(QStringLiteral("relayCertificate"), relay.authorityCertificatePath());
        app::AppParts parts;
        parts.devices.keyMonitor.reset(platform::createKeyMonitor(nullptr));
        parts.devices.recorder = std::make_unique<platform::QtAudioRecorder>(folder.path());
        parts.devices.inserter.reset(platform::createTextInserter(nullptr));
        parts.devices.permissions.reset(platform::createPermissions(nullptr));
        pill = new app::PillController;
        parts.devices.pill.reset(pill);
        parts.store = core::SettingsStore(preferences);
        parts.keychain = keychain.get();
        parts.clock = &clock;
        parts.loginItem = app::LoginItem(folder.filePath(QStringLiteral("autostart")));
        parts.takeFolder = folder.path();
        parts.statusItem = false;
        delegate = std::make_unique<app::AppDelegate>(std::move(parts));
        return true;
    }
    app::DictationController& controller() { return delegate->controller(); }
    app::DictationController::Activity activity() { return controller().activity(); }
    QStringList takeFiles() const {
        return QDir(folder.path()).entryList({QStringLiteral("parlova-*.m4a")}, QDir::Files);
    }
};

} // namespace parlova::test
