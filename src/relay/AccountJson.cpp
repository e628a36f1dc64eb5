#include "relay/AccountJson.h"

#include "protocol/AccountCodec.h"
#include "relay/AccountStore.h"
#include "relay/ParisWeek.h"

namespace parlova::relay {

namespace {

using Payload = protocol::AccountPayload;

QDateTime instant(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

Payload::Offer::Kind kind(Offer offer) {
    switch (offer) {
    case Offer::Free:
        return Payload::Offer::Kind::free;
    case Offer::Trial:
        return Payload::Offer::Kind::trial;
    case Offer::Gifted:
        return Payload::Offer::Kind::gifted;
    case Offer::Pro:
        return Payload::Offer::Kind::pro;
    }
    return Payload::Offer::Kind::free;
}

} // namespace

Payload::Week AccountJson::week(qint64 words, const OfferState& offer, qint64 now) {
    Payload::Week week;
    week.words = words;
    if (offer.isFree()) {
        week.limit = AccountStore::weeklyCap;
        week.remaining = std::max<qint64>(AccountStore::weeklyCap - words, 0);
    }
    week.resetsAt = instant(ParisWeek::nextStart(now));
    return week;
}

QJsonObject AccountJson::account(const AccountRecord& account,
                                 const std::optional<SubscriptionRecord>& sub,
                                 const OfferState& offer, qint64 words,
                                 const ReferralCounts& referrals, qint64 now,
                                 const QString& origin) {
    Payload payload;
    payload.email = account.email;
    payload.offer = Payload::Offer::of(
        kind(offer.offer), offer.proUntil ? std::optional(instant(*offer.proUntil)) : std::nullopt);
    if (sub)
        payload.subscription = Payload::Subscription{
            sub->period == Period::Yearly ? Payload::Subscription::Period::yearly
                                          : Payload::Subscription::Period::monthly,
            Terms::text(sub->status), instant(sub->periodEnd), sub->cancelsAtPeriodEnd};
    payload.week = week(words, offer, now);
    payload.referral = {account.referralCode,
                        QUrl(origin + QStringLiteral("/r/") + account.referralCode),
                        referrals.friends, referrals.validated, referrals.monthsEarned};
    payload.prices = {QStringLiteral("eur"), AccountStore::monthlyCents, AccountStore::yearlyCents,
                      AccountStore::yearlyCentsPerMonth};
    payload.links = {QUrl(origin + QStringLiteral("/conditions")),
                     QUrl(origin + QStringLiteral("/confidentialite"))};
    return protocol::AccountCodec::encode(payload);
}

} // namespace parlova::relay
