#include "core/domain/Account.h"

#include "core/domain/OfferText.h"
#include "protocol/AccountCodec.h"

namespace parlova::core {

namespace {

Decoded<Account> fromPayload(const Decoded<protocol::AccountPayload>& payload) {
    if (!payload)
        return payload.error();
    return Account(*payload);
}

} // namespace

Decoded<Account> Account::fromJson(const QByteArray& bytes) {
    return fromPayload(protocol::AccountCodec::decode(bytes));
}

Decoded<Account> Account::fromJsonValue(const QJsonValue& value) {
    return fromPayload(protocol::AccountCodec::decode(value));
}

QString Account::offerLine() const {
    return OfferText::line(offer, week.remaining.value_or(0));
}

bool Account::isAtLimit(const QDateTime& now) const {
    return offer.kind() == Offer::Kind::free && week.remaining.value_or(0) <= 0 &&
           now < week.resetsAt;
}

bool Account::weekHasEnded(const QDateTime& now) const {
    return week.resetsAt <= now;
}

std::optional<QDateTime> Account::offeredProKept(const QDateTime& now) const {
    if (offer.kind() != Offer::Kind::trial && offer.kind() != Offer::Kind::gifted)
        return std::nullopt;
    if (!offer.until() || *offer.until() <= now.addSecs(offeredProCarryOver))
        return std::nullopt;
    return offer.until();
}

bool Account::update(const Week& newWeek) {
    const bool capped = newWeek.limit.has_value() && newWeek.remaining.has_value();
    if ((offer.kind() == Offer::Kind::free) != capped)
        return false;
    week = newWeek;
    return true;
}

} // namespace parlova::core
