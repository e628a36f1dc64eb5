#include "core/domain/HoldKey.h"

#include "core/texts/Catalog.h"

namespace parlova::core {

QString rawValue(HoldKey key) {
    switch (key) {
    case HoldKey::function:
        return QStringLiteral("fn");
    case HoldKey::rightOption:
        return QStringLiteral("option-droite");
    case HoldKey::rightControl:
        return QStringLiteral("controle-droite");
    case HoldKey::rightCommand:
        return QStringLiteral("commande-droite");
    }
    return {};
}

std::optional<HoldKey> holdKeyFromRaw(QStringView raw) {
    for (const HoldKey key : allHoldKeys) {
        if (raw == rawValue(key))
            return key;
    }
    return std::nullopt;
}

QString displayName(HoldKey key) {
    switch (key) {
    case HoldKey::function:
        return Catalog::text("key.fn");
    case HoldKey::rightOption:
        return Catalog::text("key.rightOption");
    case HoldKey::rightControl:
        return Catalog::text("key.rightControl");
    case HoldKey::rightCommand:
        return Catalog::text("key.rightCommand");
    }
    return {};
}

} // namespace parlova::core
