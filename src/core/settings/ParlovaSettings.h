#pragma once

#include "core/domain/DictationLanguage.h"
#include "core/domain/HoldKey.h"

#include <QVariant>

namespace parlova::core {

// The user's two dictation choices.
struct ParlovaSettings {
    HoldKey holdKey = HoldKey::standard;
    DictationLanguage language = DictationLanguage::standard;

    static const ParlovaSettings standard;

    // Builds the record from two stored preference values of any type, each
    // falling back on its own to the standard value when it is absent, not a
    // string, or no raw value once surrounding spaces and tabs are trimmed.
    static ParlovaSettings fromStored(const QVariant& storedHoldKey,
                                      const QVariant& storedLanguage);

    friend bool operator==(const ParlovaSettings&, const ParlovaSettings&) = default;
};

inline constexpr ParlovaSettings ParlovaSettings::standard{HoldKey::standard,
                                                           DictationLanguage::standard};

} // namespace parlova::core
