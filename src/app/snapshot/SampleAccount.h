#pragma once

#include "core/domain/Account.h"

#include <QDateTime>

namespace parlova::app {

// The accounts that snapshots show, decoded from the relay's own JSON form
// so that they go through the same reading as real ones: free (760 words
// used of 2 000), a Pro trial ending in 12 days, and a monthly subscriber.
// Dates count from `now`.
class SampleAccount {
public:
    SampleAccount() = delete;

    static const QString email;
    static const QString referralCode;

    static core::Account free(const QDateTime& now);
    static core::Account trial(const QDateTime& now);
    static core::Account subscriber(const QDateTime& now);
};

} // namespace parlova::app
