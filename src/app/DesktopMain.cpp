#include "app/AppDelegate.h"
#include "app/controllers/SystemClock.h"
#include "app/pill/PillController.h"
#include "app/snapshot/Snapshots.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "core/keychain/AsyncKeychain.h"
#include "core/program/ProgramIdentity.h"
#include "core/program/SingleInstance.h"
#include "platform/KeyMonitor.h"
#include "platform/Keychain.h"
#include "platform/Permissions.h"
#include "platform/Recorder.h"
#include "platform/TextInserter.h"
#include "platform/WindowPlatform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace {

// The program's own links among the arguments ("parlova %u" in the desktop entry).
QStringList linksIn(const QStringList& arguments) {
    QStringList links;
    for (const QString& argument : arguments) {
        if (QUrl(argument).scheme().compare(QLatin1StringView("parlova"), Qt::CaseInsensitive) == 0)
            links.append(argument);
    }
    return links;
}

// The offscreen platform says, for every window, what it cannot do for it;
// snapshot mode needs none of it.
QtMessageHandler standardHandler = nullptr;

void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1StringView("This plugin does not support")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
}

} // namespace

// The desktop program, loaded by `parlova` when its arguments name no command.
extern "C" Q_DECL_EXPORT int parlova_desktop_main(int argc, char** argv) {
    using namespace parlova;

    // Read before any application object exists, since QApplication takes
    // its own options (-style, -platform…) out of argv.
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));

    const std::optional<QString> snapshotFolder = app::Snapshots::folder(arguments);
    const QStringList links = linksIn(arguments);
    if (snapshotFolder) {
        // Pictures of the program itself, whatever the desktop draws around it.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (core::SingleInstance::handOver(core::SingleInstance::defaultPath(), links).ok()) {
        // Parlova already runs: it got the link (or comes forward) and this
        // launch is over.
        return 0;
    } else {
        platform::chooseWindowPlatform();
    }

    // The desktop application: no main window, it lives in the tray and
    // keeps running when its last window closes.
    QApplication application(argc, argv);
    core::ProgramIdentity::install();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Parlova"));
    QGuiApplication::setDesktopFileName(QStringLiteral("parlova"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(app::Symbols::applicationIcon());
    app::Style::install(application);

    if (snapshotFolder) {
        standardHandler = qInstallMessageHandler(quietOffscreen);
        app::Snapshots::capture(*snapshotFolder);
        return QApplication::exec();
    }

    core::SingleInstance instance;
    if (!instance.listen().ok() &&
        core::SingleInstance::handOver(core::SingleInstance::defaultPath(), links).ok()) {
        // Another launch won the race a moment ago.
        return 0;
    }

    app::SystemClock clock;
    core::AsyncKeychain keychain(platform::Keychain::system());
    app::AppParts parts;
    parts.devices.keyMonitor.reset(platform::createKeyMonitor(nullptr));
    parts.devices.recorder.reset(platform::createRecorder(nullptr));
    parts.devices.inserter.reset(platform::createTextInserter(nullptr));
    parts.devices.permissions.reset(platform::createPermissions(nullptr));
    parts.devices.pill = std::make_unique<app::PillController>();
    parts.keychain = &keychain;
    parts.clock = &clock;

    app::AppDelegate delegate(std::move(parts));
    delegate.serve(instance);
    delegate.open(QUrl::fromStringList(links));
    delegate.launch();
    return QApplication::exec();
}
