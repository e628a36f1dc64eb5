#include "core/texts/Texts.h"

#include "core/texts/Catalog.h"

namespace parlova::core {

#include "core/TextsDefinitions.inc"

const QString& Texts::deleteAccountWarning() {
    static const QString text = deleteAccountLoss() + QStringLiteral("\n\n") +
                                deleteAccountRefund() + QStringLiteral("\n\n") +
                                deleteAccountKept();
    return text;
}

} // namespace parlova::core
