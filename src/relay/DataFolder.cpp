#include "relay/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parlova::relay {

DataFolder::Outcome DataFolder::prepare(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0) {
        if (S_ISLNK(status.st_mode))
            return Outcome::Link;
        return S_ISDIR(status.st_mode) ? Outcome::Existing : Outcome::NotAFolder;
    }
    if (errno != ENOENT)
        return Outcome::Failed;
    const QString parent = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(parent) || ::mkdir(name.constData(), 0700) != 0)
        return Outcome::Failed;
    // The umask may have taken bits away, never added any: 0700 exactly,
    // set through the folder itself rather than its name.
    const int fd = open(path, O_RDONLY | O_DIRECTORY);
    const bool set = fd >= 0 && ::fchmod(fd, 0700) == 0;
    if (fd >= 0)
        ::close(fd);
    return set ? Outcome::Created : Outcome::Failed;
}

bool DataFolder::removeFiles(const QString& path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    DIR* folder = ::fdopendir(fd);
    if (!folder) {
        ::close(fd);
        return false;
    }
    bool removed = true;
    while (const dirent* entry = ::readdir(folder)) {
        struct stat status {};
        if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(status.st_mode))
            continue;
        if (::unlinkat(fd, entry->d_name, 0) != 0)
            removed = false;
    }
    ::closedir(folder);
    return removed;
}

int DataFolder::open(const QString& path, int flags, mode_t mode) {
    return ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

} // namespace parlova::relay
