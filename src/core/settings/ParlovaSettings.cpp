#include "core/settings/ParlovaSettings.h"

namespace parlova::core {

namespace {

// Blanks typed around a value by hand are forgiven; a line break is not a
// blank here, so a value split over lines stays unusable.
QStringView trimmedOfBlanks(QStringView text) {
    const auto isBlank = [](QChar c) {
        return c == u' ' || c == u'\t';
    };
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

template <typename Choice>
Choice read(const QVariant& stored, std::optional<Choice> (*fromRaw)(QStringView),
            Choice fallback) {
    if (stored.typeId() != QMetaType::QString)
        return fallback;
    const QString text = stored.toString();
    return fromRaw(trimmedOfBlanks(text)).value_or(fallback);
}

} // namespace

ParlovaSettings ParlovaSettings::fromStored(const QVariant& storedHoldKey,
                                            const QVariant& storedLanguage) {
    return {read(storedHoldKey, &holdKeyFromRaw, HoldKey::standard),
            read(storedLanguage, &dictationLanguageFromRaw, DictationLanguage::standard)};
}

} // namespace parlova::core
