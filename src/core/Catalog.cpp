#include "core/Catalog.h"

namespace parlova::core {

QString Catalog::text(const char* key, const QStringList& arguments) {
    QString result = frenchDefault(key);
    for (const QString& argument : arguments) {
        const qsizetype at = result.indexOf(QLatin1String("%@"));
        if (at < 0)
            break;
        result.replace(at, 2, argument);
    }
    return result;
}

QString Catalog::frenchDefault(const char* key) { return QString::fromUtf8(key); }

QStringList Catalog::keys() { return {}; }

} // namespace parlova::core
