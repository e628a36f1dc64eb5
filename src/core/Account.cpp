#include "core/Account.h"

#include "core/OfferText.h"

using namespace Qt::StringLiterals;

namespace parlova::core {

namespace {

QString unknownValue(const QString& raw) {
    return QStringLiteral("Valeur inconnue : « %1 ».").arg(raw.left(40));
}

} // namespace

// Week

Account::Week Account::Week::read(RelayJSON::Reader& reader) {
    Week week;
    week.words = reader.integer("mots"_L1);
    week.limit = reader.optionalInteger("plafond"_L1);
    week.remaining = reader.optionalInteger("reste"_L1);
    week.resetsAt = reader.date("reinitialisation"_L1);
    return week;
}

// Subscription

QString Account::Subscription::rawValue(Period period) {
    return period == Period::yearly ? u"annuel"_s : u"mensuel"_s;
}

std::optional<Account::Subscription::Period>
Account::Subscription::periodFromRawValue(QStringView raw) {
    if (raw == u"mensuel")
        return Period::monthly;
    if (raw == u"annuel")
        return Period::yearly;
    return std::nullopt;
}

Account::Subscription Account::Subscription::read(RelayJSON::Reader& reader) {
    Subscription subscription;
    const QString period = reader.string("periode"_L1);
    if (!reader.failed()) {
        if (const auto known = periodFromRawValue(period))
            subscription.period = *known;
        else
            reader.fail("periode"_L1, unknownValue(period));
    }
    subscription.status = reader.string("statut"_L1);
    subscription.periodEnd = reader.date("finPeriode"_L1);
    subscription.cancelsAtPeriodEnd = reader.boolean("resilie"_L1);
    return subscription;
}

// Referral

Account::Referral Account::Referral::read(RelayJSON::Reader& reader) {
    Referral referral;
    referral.code = reader.string("code"_L1);
    const QString link = reader.string("lien"_L1);
    if (!reader.failed()) {
        referral.link = QUrl(link, QUrl::StrictMode);
        if (!referral.link.isValid() || referral.link.isEmpty())
            reader.fail("lien"_L1, QStringLiteral("Adresse URL attendue."));
    }
    referral.friends = reader.integer("amis"_L1);
    referral.validatedFriends = reader.integer("amisValides"_L1);
    referral.monthsEarned = reader.integer("moisGagnes"_L1);
    return referral;
}

// Prices

Account::Prices Account::Prices::read(RelayJSON::Reader& reader) {
    Prices prices;
    RelayJSON::Reader monthly = reader.object("mensuel"_L1);
    RelayJSON::Reader yearly = reader.object("annuel"_L1);
    prices.currency = reader.string("devise"_L1);
    prices.monthlyCents = monthly.integer("centimes"_L1);
    prices.yearlyCents = yearly.integer("centimes"_L1);
    prices.yearlyCentsPerMonth = yearly.integer("centimesParMois"_L1);
    return prices;
}

// Links

Account::Links Account::Links::fromJsonValue(const QJsonValue& value) {
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
    return Links{secure("conditions"_L1), secure("confidentialite"_L1)};
}

// Account

Decoded<Account> Account::fromJson(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    return fromJsonValue(*root);
}

Decoded<Account> Account::fromJsonValue(const QJsonValue& value) {
    return RelayJSON::decode<Account>(value);
}

Account Account::read(RelayJSON::Reader& reader) {
    Account account;

    RelayJSON::Reader weekReader = reader.object("semaine"_L1);
    account.week = Week::read(weekReader);
    const std::optional<QDateTime> proUntil = reader.optionalDate("proJusquAu"_L1);
    const QString plan = reader.string("offre"_L1);
    if (!reader.failed()) {
        if (plan == u"gratuit") {
            if (account.week.limit && account.week.remaining)
                account.offer = Offer::free();
            else
                reader.fail("semaine"_L1, QStringLiteral("Offre gratuite sans plafond."));
        } else if (plan == u"essai" || plan == u"offert") {
            if (!proUntil)
                reader.fail("proJusquAu"_L1, QStringLiteral("Pro sans date de fin."));
            else if (plan == u"essai")
                account.offer = Offer::trial(*proUntil);
            else
                account.offer = Offer::gifted(*proUntil);
        } else if (plan == u"pro") {
            account.offer = Offer::pro(proUntil);
        } else {
            reader.fail("offre"_L1, unknownValue(plan));
        }
    }

    account.email = reader.string("email"_L1);
    if (!reader.isAbsent("abonnement"_L1)) {
        RelayJSON::Reader subscriptionReader = reader.object("abonnement"_L1);
        account.subscription = Subscription::read(subscriptionReader);
    }
    RelayJSON::Reader referralReader = reader.object("parrainage"_L1);
    account.referral = Referral::read(referralReader);
    RelayJSON::Reader pricesReader = reader.object("tarifs"_L1);
    account.prices = Prices::read(pricesReader);
    account.links = Links::fromJsonValue(reader.value("liens"_L1));
    return account;
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
