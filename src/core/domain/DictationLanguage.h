#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

namespace parlova::core {

// The language of the takes, as the user chose it; "automatic" lets the relay
// recognise the spoken language.
enum class DictationLanguage : std::uint8_t {
    automatic,
    french,
    english,
    spanish,
    german,
    italian,
    dutch,
    brazilianPortuguese,
    standard = automatic,
};

// Every language, in the order the settings screen offers them.
inline constexpr std::array<DictationLanguage, 8> allDictationLanguages{
    DictationLanguage::automatic, DictationLanguage::french,
    DictationLanguage::english,   DictationLanguage::spanish,
    DictationLanguage::german,    DictationLanguage::italian,
    DictationLanguage::dutch,     DictationLanguage::brazilianPortuguese};

// The stored value: "auto", "fr", "en", "es", "de", "it", "nl", "pt-BR".
QString rawValue(DictationLanguage language);

// Exact, case-sensitive match of a stored value; anything else is none.
std::optional<DictationLanguage> dictationLanguageFromRaw(QStringView raw);

// The code sent to the relay with a take; none for automatic, in which case
// the upload names no language. Brazilian Portuguese is stored as "pt-BR" but
// sent as "pt".
std::optional<QString> whisperCode(DictationLanguage language);

// The name shown in the settings: each language in its own language, never
// translated, except "Automatique", which follows the interface.
QString displayName(DictationLanguage language);

} // namespace parlova::core
