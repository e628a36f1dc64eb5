#include "cli/CommandLineTool.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

namespace {

// Preferences land in $XDG_CONFIG_HOME/parlova/parlova.conf.
void nameTheProgram() {
    QCoreApplication::setOrganizationName(QStringLiteral("parlova"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("parlova.fr"));
    QCoreApplication::setApplicationName(QStringLiteral("parlova"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PARLOVA_VERSION));
}

// Wayland lets no client place its windows or keep one above the others, and
// the pill needs both: on a Wayland session the windows go through XWayland
// when it is there. Keys and paste do not depend on this. A platform the user
// chose explicitly is left alone.
void runWindowsThroughXWayland() {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char** argv) {
    // Read before any application object exists, since QApplication takes
    // its own options (-style, -platform…) out of argv.
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));

    if (const auto command = parlova::cli::CommandLineTool::parse(arguments)) {
        QCoreApplication application(argc, argv);
        nameTheProgram();
        return command->run();
    }

    // The desktop application: no main window, it lives in the tray and
    // keeps running when its last window closes. `arguments` goes to the
    // application shell (snapshot folder, links handed over at launch).
    runWindowsThroughXWayland();
    QApplication application(argc, argv);
    nameTheProgram();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Parlova"));
    QGuiApplication::setDesktopFileName(QStringLiteral("parlova"));
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
