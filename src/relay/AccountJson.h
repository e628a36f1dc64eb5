#pragma once

#include "protocol/AccountPayload.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace parlova::relay {

struct AccountRecord;
struct OfferState;
struct ReferralCounts;
struct SubscriptionRecord;

// The account as the client reads it, from the relay's records: the whole
// record of "api/compte" and of a sign-in, and the week alone of a dictation.
// The protocol's codecs write it.
class AccountJson {
public:
    AccountJson() = delete;

    static protocol::AccountPayload::Week week(qint64 words, const OfferState& offer, qint64 now);
    // Links are built on the relay's public origin.
    static QJsonObject account(const AccountRecord& account,
                               const std::optional<SubscriptionRecord>& subscription,
                               const OfferState& offer, qint64 words,
                               const ReferralCounts& referrals, qint64 now, const QString& origin);
};

} // namespace parlova::relay
