#pragma once

#include <QString>

namespace parlova::core {

// Naming, creation and clean-up of take files: "parlova-" + upper-case UUID +
// ".m4a" in a directory (the temporary directory in the application). A take
// file holds the user's voice, so it is readable by its owner only and never
// outlives the next start of the program.
class DictationTakeFiles {
public:
    DictationTakeFiles() = delete;

    // Where a new take goes in this directory. Creates nothing.
    static QString newTake(const QString& directory);

    // Creates the file for writing, mode 0600, failing if anything (a file, a
    // planted symbolic link) is already there. Answers the open descriptor, or
    // -1 with errno set.
    static int createExclusive(const QString& path);

    // Deletes the leftover take files of earlier runs in this directory:
    // regular files of ours whose name begins with "parlova-" and whose
    // extension is exactly "m4a". Symbolic links, directories and files of
    // other users stay. Answers how many were deleted.
    static int removeLeftovers(const QString& directory);
};

} // namespace parlova::core
