#pragma once

#include <QString>
#include <QStringList>

namespace parlova::core {

// Every user-visible text: a dotted key with its French default. A
// translation for the current locale, when one is installed, wins; otherwise
// the French default is shown. Arguments fill the "%@" placeholders in order.
class Catalog {
public:
    static QString text(const char* key, const QStringList& arguments = {});

    // The shipped French text of a key, or a null string for an unknown key.
    static QString frenchDefault(const char* key);

    // Every key of the catalog, in catalog order.
    static QStringList keys();
};

} // namespace parlova::core
