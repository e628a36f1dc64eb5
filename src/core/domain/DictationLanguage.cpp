#include "core/domain/DictationLanguage.h"

#include "core/texts/Catalog.h"

namespace parlova::core {

QString rawValue(DictationLanguage language) {
    switch (language) {
    case DictationLanguage::automatic:
        return QStringLiteral("auto");
    case DictationLanguage::french:
        return QStringLiteral("fr");
    case DictationLanguage::english:
        return QStringLiteral("en");
    case DictationLanguage::spanish:
        return QStringLiteral("es");
    case DictationLanguage::german:
        return QStringLiteral("de");
    case DictationLanguage::italian:
        return QStringLiteral("it");
    case DictationLanguage::dutch:
        return QStringLiteral("nl");
    case DictationLanguage::brazilianPortuguese:
        return QStringLiteral("pt-BR");
    }
    return {};
}

std::optional<DictationLanguage> dictationLanguageFromRaw(QStringView raw) {
    for (const DictationLanguage language : allDictationLanguages) {
        if (raw == rawValue(language))
            return language;
    }
    return std::nullopt;
}

std::optional<QString> whisperCode(DictationLanguage language) {
    switch (language) {
    case DictationLanguage::automatic:
        return std::nullopt;
    case DictationLanguage::brazilianPortuguese:
        return QStringLiteral("pt");
    case DictationLanguage::french:
    case DictationLanguage::english:
    case DictationLanguage::spanish:
    case DictationLanguage::german:
    case DictationLanguage::italian:
    case DictationLanguage::dutch:
        return rawValue(language);
    }
    return std::nullopt;
}

QString displayName(DictationLanguage language) {
    switch (language) {
    case DictationLanguage::automatic:
        return Catalog::text("language.automatic");
    case DictationLanguage::french:
        return QStringLiteral("Français");
    case DictationLanguage::english:
        return QStringLiteral("English");
    case DictationLanguage::spanish:
        return QStringLiteral("Español");
    case DictationLanguage::german:
        return QStringLiteral("Deutsch");
    case DictationLanguage::italian:
        return QStringLiteral("Italiano");
    case DictationLanguage::dutch:
        return QStringLiteral("Nederlands");
    case DictationLanguage::brazilianPortuguese:
        return QStringLiteral("Português (Brasil)");
    }
    return {};
}

} // namespace parlova::core
