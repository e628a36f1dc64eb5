#include "relay/AccountJson.h"

#include "relay/AccountStore.h"
#include "relay/ParisWeek.h"

#include <QJsonValue>

namespace parlova::relay {

namespace {

QJsonValue dateOrNull(std::optional<qint64> instant) {
    return instant ? QJsonValue(ParisWeek::isoDate(*instant)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QJsonObject AccountJson::week(qint64 words, const OfferState& offer, qint64 now) {
    const auto capped = [&](qint64 value) {
        return offer.isFree() ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
    };
    return {{QStringLiteral("mots"), words},
            {QStringLiteral("plafond"), capped(AccountStore::weeklyCap)},
            {QStringLiteral("reste"), capped(std::max<qint64>(AccountStore::weeklyCap - words, 0))},
            {QStringLiteral("reinitialisation"), ParisWeek::isoDate(ParisWeek::nextStart(now))}};
}

QJsonObject AccountJson::account(const AccountRecord& account,
                                 const std::optional<SubscriptionRecord>& sub,
                                 const OfferState& offer, qint64 words,
                                 const ReferralCounts& referrals, qint64 now,
                                 const QString& origin) {
    QJsonValue subscriptionJson(QJsonValue::Null);
    if (sub)
        subscriptionJson =
            QJsonObject{{QStringLiteral("periode"), Terms::text(sub->period)},
                        {QStringLiteral("statut"), Terms::text(sub->status)},
                        {QStringLiteral("finPeriode"), ParisWeek::isoDate(sub->periodEnd)},
                        {QStringLiteral("resilie"), sub->cancelsAtPeriodEnd}};
    return {
        {QStringLiteral("email"), account.email},
        {QStringLiteral("offre"), Terms::text(offer.offer)},
        {QStringLiteral("proJusquAu"), dateOrNull(offer.proUntil)},
        {QStringLiteral("abonnement"), subscriptionJson},
        {QStringLiteral("semaine"), week(words, offer, now)},
        {QStringLiteral("parrainage"),
         QJsonObject{
             {QStringLiteral("code"), account.referralCode},
             {QStringLiteral("lien"), origin + QStringLiteral("/r/") + account.referralCode},
             {QStringLiteral("amis"), referrals.friends},
             {QStringLiteral("amisValides"), referrals.validated},
             {QStringLiteral("moisGagnes"), referrals.monthsEarned}}},
        {QStringLiteral("tarifs"),
         QJsonObject{{QStringLiteral("devise"), QStringLiteral("eur")},
                     {QStringLiteral("mensuel"),
                      QJsonObject{{QStringLiteral("centimes"), AccountStore::monthlyCents}}},
                     {QStringLiteral("annuel"),
                      QJsonObject{{QStringLiteral("centimes"), AccountStore::yearlyCents},
                                  {QStringLiteral("centimesParMois"),
                                   AccountStore::yearlyCentsPerMonth}}}}},
        {QStringLiteral("liens"),
         QJsonObject{
             {QStringLiteral("conditions"), origin + QStringLiteral("/conditions")},
             {QStringLiteral("confidentialite"), origin + QStringLiteral("/confidentialite")}}},
    };
}

} // namespace parlova::relay
