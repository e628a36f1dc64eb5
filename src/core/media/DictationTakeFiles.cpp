#include "core/media/DictationTakeFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parlova::core {

namespace {

const QString prefix = QStringLiteral("parlova-");
const QString extension = QStringLiteral("m4a");

} // namespace

QString DictationTakeFiles::newTake(const QString& directory) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return QDir(directory).filePath(prefix + uuid + QLatin1Char('.') + extension);
}

int DictationTakeFiles::createExclusive(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return -1;
    // The umask may only have narrowed the mode; make it exactly owner-only.
    if (::fchmod(descriptor, 0600) != 0) {
        const int error = errno;
        ::close(descriptor);
        ::unlink(QFile::encodeName(path).constData());
        errno = error;
        return -1;
    }
    return descriptor;
}

int DictationTakeFiles::removeLeftovers(const QString& directory) {
    const QDir folder(directory);
    if (!folder.exists())
        return 0;
    int removed = 0;
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!entry.fileName().startsWith(prefix) || entry.suffix() != extension)
            continue;
        if (!entry.isFile() || entry.isSymLink() || entry.ownerId() != ::geteuid())
            continue;
        if (QFile::remove(entry.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace parlova::core
