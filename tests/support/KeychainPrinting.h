#pragma once

#include "core/keychain/KeychainItem.h"

#include <QTest>

// Readable keychain lookups in QCOMPARE failures.
namespace parlova::core {

inline char* toString(const KeychainItem::Lookup& lookup) {
    if (lookup)
        return QTest::toString(QStringLiteral("found(%1)").arg(lookup.value()));
    return QTest::toString(QStringLiteral("status(%1)").arg(lookup.error()));
}

} // namespace parlova::core
