#pragma once

#include "core/KeychainItem.h"

#include <QTest>

// Readable keychain lookups in QCOMPARE failures.
namespace parlova::core {

inline char* toString(const KeychainItem::Lookup& lookup) {
    switch (lookup.kind()) {
    case KeychainItem::Lookup::Kind::found:
        return QTest::toString(QStringLiteral("found(%1)").arg(lookup.value()));
    case KeychainItem::Lookup::Kind::unreadable:
        return QTest::toString(QStringLiteral("unreadable(%1)").arg(lookup.status()));
    case KeychainItem::Lookup::Kind::missing:
        break;
    }
    return QTest::toString(QStringLiteral("missing"));
}

} // namespace parlova::core
