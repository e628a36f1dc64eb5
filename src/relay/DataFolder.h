#pragma once

#include <QString>

#include <sys/types.h>

namespace parlova::relay {

// What the relay makes inside its data folder, made without ever following a
// symbolic link: a link planted there would otherwise send the relay's
// chmod, writes or deletions to a folder of someone else's choosing.
class DataFolder {
public:
    DataFolder() = delete;

    enum class Outcome { Created, Existing, Link, NotAFolder, Failed };

    // Creates the folder, mode 0700, when it is missing (its parents with the
    // usual mode). A folder that is already there keeps its mode.
    static Outcome prepare(const QString& path);

    // Removes the files of a folder that is not a link; a link in it is
    // removed itself, never what it points to. False when one stays.
    static bool removeFiles(const QString& path);

    // open(2) with O_NOFOLLOW and O_CLOEXEC added: -1 on a link.
    static int open(const QString& path, int flags, mode_t mode = 0);
};

} // namespace parlova::relay
