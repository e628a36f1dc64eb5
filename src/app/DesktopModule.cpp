#include "app/DesktopModule.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <dlfcn.h>

namespace parlova::app {

namespace {

using DesktopMain = int (*)(int, char**);

QStringList candidates() {
    const QDir beside = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return {beside.filePath(QStringLiteral(PARLOVA_DESKTOP_MODULE)),
            QDir::cleanPath(beside.filePath(
                QStringLiteral(PARLOVA_DESKTOP_MODULE_DIR "/" PARLOVA_DESKTOP_MODULE)))};
}

} // namespace

int DesktopModule::run(int argc, char** argv) {
    QString failure;
    for (const QString& path : candidates()) {
        if (!QFileInfo::exists(path))
            continue;
        void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            failure = QString::fromLocal8Bit(dlerror());
            continue;
        }
        // The module is never unloaded: its objects live until the process ends.
        if (auto entry = reinterpret_cast<DesktopMain>(dlsym(module, "parlova_desktop_main")))
            return entry(argc, argv);
        failure = path;
    }
    if (failure.isEmpty())
        failure = candidates().join(QStringLiteral(", "));
    std::fprintf(stderr, "Parlova : impossible de charger le programme de bureau (%s).\n",
                 failure.toLocal8Bit().constData());
    return 1;
}

} // namespace parlova::app
