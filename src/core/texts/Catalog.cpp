#include "core/texts/Catalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QTranslator>

#include <memory>
#include <string_view>
#include <unordered_map>

namespace parlova::core {

namespace {

struct Entry {
    const char* key;
    const char16_t* french;
};

// The shipped texts, in catalog order, generated at build time from
// src/core/texts/catalog.json: the typographic apostrophes, ellipses and the
// no-break space of "2 000" are the characters themselves (UTF-8 source,
// UTF-16 literals).
constexpr Entry entries[] = {
#include "core/CatalogEntries.inc"
};

const Entry* findEntry(const char* key) {
    static const auto index = [] {
        std::unordered_map<std::string_view, const Entry*> map;
        for (const Entry& entry : entries)
            map.emplace(entry.key, &entry);
        return map;
    }();
    if (key == nullptr)
        return nullptr;
    const auto found = index.find(key);
    return found == index.end() ? nullptr : found->second;
}

constexpr QLatin1String placeholder("%@");

} // namespace

QString Catalog::text(const char* key, const QStringList& arguments) {
    if (key == nullptr)
        return {};
    // An id-based lookup answers the id itself when no installed translation
    // has it (and an unfinished translation may be empty): both mean French.
    const QString translated = qtTrId(key);
    if (!translated.isEmpty() && translated != QLatin1String(key))
        return fill(translated, arguments);
    const Entry* entry = findEntry(key);
    if (entry == nullptr)
        return fill(QString::fromUtf8(key), arguments);
    return fill(QString::fromUtf16(entry->french), arguments);
}

QString Catalog::frenchDefault(const char* key) {
    const Entry* entry = findEntry(key);
    return entry == nullptr ? QString() : QString::fromUtf16(entry->french);
}

QStringList Catalog::keys() {
    QStringList result;
    result.reserve(std::size(entries));
    for (const Entry& entry : entries)
        result.append(QString::fromLatin1(entry.key));
    return result;
}

QString Catalog::fill(const QString& pattern, const QStringList& arguments) {
    QString result = pattern;
    qsizetype from = 0;
    for (const QString& argument : arguments) {
        const qsizetype at = result.indexOf(placeholder, from);
        if (at < 0)
            break;
        result.replace(at, placeholder.size(), argument);
        // Resume after the inserted text: a "%@" typed by the user inside an
        // argument (an e-mail address, a code) is not a placeholder.
        from = at + argument.size();
    }
    return result;
}

QString Catalog::message(Error error) {
    switch (error) {
    case Error::noApplication:
        return QStringLiteral("Les traductions demandent l’application.");
    case Error::notFound:
        return QStringLiteral("Aucune traduction utilisable pour cette langue.");
    }
    return {};
}

Done<Catalog::Error> Catalog::installTranslations(const QLocale& locale,
                                                  const QStringList& folders) {
    auto* application = QCoreApplication::instance();
    if (application == nullptr)
        return Error::noApplication;

    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }

    QStringList candidates = folders;
    if (candidates.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath();
        candidates << beside + QStringLiteral("/translations")
                   << beside + QStringLiteral("/../share/parlova/translations")
                   << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                QStringLiteral("parlova/translations"),
                                                QStandardPaths::LocateDirectory);
    }
    for (const QString& folder : std::as_const(candidates)) {
        auto translator = std::make_unique<QTranslator>(application);
        if (translator->load(locale, QStringLiteral("parlova"), QStringLiteral("_"),
                             QDir::cleanPath(folder)) &&
            QCoreApplication::installTranslator(translator.get())) {
            installed = translator.release();
            return std::monostate{};
        }
    }
    return Error::notFound;
}

} // namespace parlova::core
