#include "Rig.h"

#include <QDir>

namespace parlova::test {

bool rigPresent() { return qEnvironmentVariableIsSet("PARLOVA_RIG"); }

QString sourcePath(const QString& relative) {
    return QDir(qEnvironmentVariable("PARLOVA_SOURCE_DIR")).filePath(relative);
}

} // namespace parlova::test
