#include "app/snapshot/SampleAccount.h"

#include "core/settings/SettingsStore.h"
#include "protocol/AccountCodec.h"

#include <QJsonDocument>

namespace parlova::app {

namespace {

enum class Sample { free, trial, subscriber };

using Payload = protocol::AccountPayload;

QDateTime daysAfter(const QDateTime& now, int days) {
    return now.toUTC().addSecs(qint64(days) * 86400);
}

QUrl onRelay(const QString& path) {
    QUrl url = core::SettingsStore::productionRelayOrigin();
    url.setPath(path);
    return url;
}

core::Account decode(Sample sample, const QDateTime& now) {
    Payload account;
    account.email = SampleAccount::email;
    account.week.resetsAt = daysAfter(now, 5);
    switch (sample) {
    case Sample::free:
        account.week.words = 760;
        account.week.limit = 2000;
        account.week.remaining = 1240;
        break;
    case Sample::trial:
        account.offer = Payload::Offer::trial(daysAfter(now, 12));
        account.week.words = 1520;
        break;
    case Sample::subscriber:
        account.offer = Payload::Offer::pro();
        account.subscription =
            Payload::Subscription{Payload::Subscription::Period::monthly, QStringLiteral("active"),
                                  daysAfter(now, 26), false};
        account.week.words = 3412;
        break;
    }
    account.referral = {SampleAccount::referralCode,
                        onRelay(QStringLiteral("/r/") + SampleAccount::referralCode), 3, 1, 1};
    account.prices = {QStringLiteral("eur"), 1200, 12000, 1000};
    account.links = {onRelay(QStringLiteral("/conditions")),
                     onRelay(QStringLiteral("/confidentialite"))};
    const auto decoded =
        core::Account::fromJson(QJsonDocument(protocol::AccountCodec::encode(account)).toJson());
    // The samples are ours: a failure here is a mistake in this file.
    Q_ASSERT(decoded.ok());
    return decoded.ok() ? decoded.value() : core::Account{};
}

} // namespace

const QString SampleAccount::email = QStringLiteral("camille.martin@exemple.fr");
const QString SampleAccount::referralCode = QStringLiteral("K7M2QX");

core::Account SampleAccount::free(const QDateTime& now) {
    return decode(Sample::free, now);
}

core::Account SampleAccount::trial(const QDateTime& now) {
    return decode(Sample::trial, now);
}

core::Account SampleAccount::subscriber(const QDateTime& now) {
    return decode(Sample::subscriber, now);
}

} // namespace parlova::app
