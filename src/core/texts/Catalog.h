#pragma once

#include "core/Result.h"

#include <QLocale>
#include <QString>
#include <QStringList>

namespace parlova::core {

// Every user-visible text: a dotted key with its French default, both kept as
// data in texts/catalog.json. A translation for the current locale, when one
// is installed, wins; otherwise the French default is shown. Arguments fill
// the "%@" placeholders in order.
class Catalog {
public:
    // Why no translation was installed.
    enum class Error {
        noApplication, // translations need the application object
        notFound,      // no folder holds a usable one for the locale
    };
    static QString message(Error error);

    // Never fails: a key without translation gives its French default, and a
    // key that is not in the catalog at all gives the key itself, so that a
    // slip shows up on screen instead of an empty label.
    static QString text(const char* key, const QStringList& arguments = {});

    // The shipped French text of a key, or a null string for an unknown key.
    static QString frenchDefault(const char* key);

    // Every key of the catalog, in catalog order.
    static QStringList keys();

    // Fills each "%@" of the template with the next argument. An argument that
    // itself contains "%@" is inserted as it is, never filled again; missing
    // arguments leave their placeholders, extra arguments are ignored.
    static QString fill(const QString& pattern, const QStringList& arguments);

    // Installs the translation of `locale` ("parlova_<locale>.qm", built with
    // id-based lrelease) from the first folder that has one. Without folders,
    // looks beside the executable ("translations") and in the shared data
    // folders ("parlova/translations"). Replaces a translation installed by an
    // earlier call. Succeeds when one was installed; French needs none.
    static Done<Error> installTranslations(const QLocale& locale = QLocale(),
                                           const QStringList& folders = {});
};

} // namespace parlova::core
