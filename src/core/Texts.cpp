#include "core/Texts.h"

#include "core/Catalog.h"

namespace parlova::core {

#include "core/TextsDefinitions.inc"

const QString& Texts::deleteAccountWarning() {
    static const QString text = deleteAccountLoss() + QStringLiteral("\n\n") +
                                deleteAccountRefund() + QStringLiteral("\n\n") +
                                deleteAccountKept();
    return text;
}

} // namespace parlova::core
