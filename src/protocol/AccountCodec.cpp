#include "protocol/AccountCodec.h"

#include "protocol/Member.h"
#include "protocol/WeekCodec.h"

using namespace Qt::StringLiterals;

namespace parlova::protocol {

namespace {

using Offer = AccountPayload::Offer;

// The words of "offre".
constexpr struct {
    Offer::Kind kind;
    QLatin1StringView word;
} planWords[] = {
    {Offer::Kind::free, "gratuit"_L1},
    {Offer::Kind::trial, "essai"_L1},
    {Offer::Kind::gifted, "offert"_L1},
    {Offer::Kind::pro, "pro"_L1},
};

QLatin1StringView planWord(Offer::Kind kind) {
    for (const auto& plan : planWords)
        if (plan.kind == kind)
            return plan.word;
    return {};
}

std::optional<Offer::Kind> planKind(QStringView word) {
    for (const auto& plan : planWords)
        if (word == plan.word)
            return plan.kind;
    return std::nullopt;
}

QString unknownValue(const QString& raw) {
    return QStringLiteral("Valeur inconnue : « %1 ».").arg(raw.left(40));
}

QJsonValue dateOrNull(const std::optional<QDateTime>& instant) {
    return instant ? QJsonValue(RelayJSON::dateText(*instant)) : QJsonValue(QJsonValue::Null);
}

QJsonValue subscriptionJson(const std::optional<AccountPayload::Subscription>& subscription) {
    if (!subscription)
        return QJsonValue::Null;
    return QJsonObject{
        {Member::period, AccountPayload::Subscription::rawValue(subscription->period)},
        {Member::status, subscription->status},
        {Member::periodEnd, RelayJSON::dateText(subscription->periodEnd)},
        {Member::cancels, subscription->cancelsAtPeriodEnd}};
}

AccountPayload::Subscription readSubscription(RelayJSON::Reader& reader) {
    AccountPayload::Subscription subscription;
    const QString period = reader.string(Member::period);
    if (!reader.failed()) {
        if (const auto known = AccountPayload::Subscription::periodFromRawValue(period))
            subscription.period = *known;
        else
            reader.fail(Member::period, unknownValue(period));
    }
    subscription.status = reader.string(Member::status);
    subscription.periodEnd = reader.date(Member::periodEnd);
    subscription.cancelsAtPeriodEnd = reader.boolean(Member::cancels);
    return subscription;
}

AccountPayload::Referral readReferral(RelayJSON::Reader& reader) {
    AccountPayload::Referral referral;
    referral.code = reader.string(Member::code);
    const QString link = reader.string(Member::link);
    if (!reader.failed()) {
        referral.link = QUrl(link, QUrl::StrictMode);
        if (!referral.link.isValid() || referral.link.isEmpty())
            reader.fail(Member::link, QStringLiteral("Adresse URL attendue."));
    }
    referral.friends = reader.integer(Member::friends);
    referral.validatedFriends = reader.integer(Member::validatedFriends);
    referral.monthsEarned = reader.integer(Member::monthsEarned);
    return referral;
}

AccountPayload::Prices readPrices(RelayJSON::Reader& reader) {
    AccountPayload::Prices prices;
    RelayJSON::Reader monthly = reader.object(Member::monthly);
    RelayJSON::Reader yearly = reader.object(Member::yearly);
    prices.currency = reader.string(Member::currency);
    prices.monthlyCents = monthly.integer(Member::cents);
    prices.yearlyCents = yearly.integer(Member::cents);
    prices.yearlyCentsPerMonth = yearly.integer(Member::centsPerMonth);
    return prices;
}

} // namespace

QJsonObject AccountCodec::encode(const AccountPayload& account) {
    const AccountPayload::Referral& referral = account.referral;
    const AccountPayload::Prices& prices = account.prices;
    QJsonObject object{
        {Member::email, account.email},
        {Member::offer, planWord(account.offer.kind())},
        {Member::proUntil, dateOrNull(account.offer.until())},
        {Member::subscription, subscriptionJson(account.subscription)},
        {Member::week, WeekCodec::encode(account.week)},
        {Member::referral, QJsonObject{{Member::code, referral.code},
                                       {Member::link, referral.link.toString(QUrl::FullyEncoded)},
                                       {Member::friends, referral.friends},
                                       {Member::validatedFriends, referral.validatedFriends},
                                       {Member::monthsEarned, referral.monthsEarned}}},
        {Member::prices,
         QJsonObject{
             {Member::currency, prices.currency},
             {Member::monthly, QJsonObject{{Member::cents, prices.monthlyCents}}},
             {Member::yearly, QJsonObject{{Member::cents, prices.yearlyCents},
                                          {Member::centsPerMonth, prices.yearlyCentsPerMonth}}}}},
    };
    QJsonObject links;
    if (account.links.terms)
        links.insert(Member::terms, account.links.terms->toString(QUrl::FullyEncoded));
    if (account.links.privacy)
        links.insert(Member::privacy, account.links.privacy->toString(QUrl::FullyEncoded));
    if (!links.isEmpty())
        object.insert(Member::links, links);
    return object;
}

Decoded<AccountPayload> AccountCodec::decode(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    return decode(*root);
}

Decoded<AccountPayload> AccountCodec::decode(const QJsonValue& value) {
    RelayJSON::Reader reader(value);
    AccountPayload account = read(reader);
    return reader.finish(std::move(account));
}

AccountPayload AccountCodec::read(RelayJSON::Reader& reader) {
    AccountPayload account;

    RelayJSON::Reader weekReader = reader.object(Member::week);
    account.week = WeekCodec::read(weekReader);
    const std::optional<QDateTime> proUntil = reader.optionalDate(Member::proUntil);
    const QString plan = reader.string(Member::offer);
    if (!reader.failed()) {
        const std::optional<Offer::Kind> kind = planKind(plan);
        if (!kind) {
            reader.fail(Member::offer, unknownValue(plan));
        } else if (*kind == Offer::Kind::free) {
            if (account.week.limit && account.week.remaining)
                account.offer = Offer::free();
            else
                reader.fail(Member::week, QStringLiteral("Offre gratuite sans plafond."));
        } else if (*kind == Offer::Kind::pro) {
            account.offer = Offer::pro(proUntil);
        } else if (!proUntil) {
            reader.fail(Member::proUntil, QStringLiteral("Pro sans date de fin."));
        } else {
            account.offer = Offer::of(*kind, proUntil);
        }
    }

    account.email = reader.string(Member::email);
    if (!reader.isAbsent(Member::subscription)) {
        RelayJSON::Reader subscriptionReader = reader.object(Member::subscription);
        account.subscription = readSubscription(subscriptionReader);
    }
    RelayJSON::Reader referralReader = reader.object(Member::referral);
    account.referral = readReferral(referralReader);
    RelayJSON::Reader pricesReader = reader.object(Member::prices);
    account.prices = readPrices(pricesReader);
    account.links = readLinks(reader.value(Member::links));
    return account;
}

AccountPayload::Links AccountCodec::readLinks(const QJsonValue& value) {
    const QJsonObject object = value.toObject(); // empty for anything but an object
    const auto secure = [&object](QLatin1StringView key) -> std::optional<QUrl> {
        const QJsonValue member = object.value(key);
        if (!member.isString())
            return std::nullopt;
        const QUrl url(member.toString(), QUrl::StrictMode);
        if (!isSecureWebPage(url))
            return std::nullopt;
        return url;
    };
    return {secure(Member::terms), secure(Member::privacy)};
}

} // namespace parlova::protocol
