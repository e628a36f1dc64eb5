#include "app/DesktopModule.h"
#include "cli/CommandLineTool.h"
#include "core/program/ProgramIdentity.h"

#include <QCoreApplication>
#include <QStringList>

// A command among the arguments runs here, on QtCore and QtNetwork alone;
// anything else starts the desktop program.
int main(int argc, char** argv) {
    using namespace parlova;

    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));

    if (const auto command = cli::CommandLineTool::parse(arguments)) {
        cli::CommandLineTool::silenceLibraries();
        QCoreApplication application(argc, argv);
        core::ProgramIdentity::install();
        return command->run();
    }
    return app::DesktopModule::run(argc, argv);
}
