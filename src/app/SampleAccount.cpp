#include "app/SampleAccount.h"

#include "core/SettingsStore.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace parlova::app {

namespace {

enum class Sample { free, trial, subscriber };

QString daysAfter(const QDateTime& now, int days) {
    return now.toUTC().addSecs(qint64(days) * 86400).toString(Qt::ISODate);
}

QString onRelay(const QString& path) {
    QUrl url = core::SettingsStore::productionRelayOrigin();
    url.setPath(path);
    return url.toString();
}

core::Account decode(Sample sample, const QDateTime& now) {
    QJsonObject week{{QStringLiteral("reinitialisation"), daysAfter(now, 5)}};
    QJsonObject account{{QStringLiteral("email"), SampleAccount::email}};
    QJsonValue subscription = QJsonValue::Null;
    QJsonValue proUntil = QJsonValue::Null;
    switch (sample) {
    case Sample::free:
        account[QStringLiteral("offre")] = QStringLiteral("gratuit");
        week[QStringLiteral("mots")] = 760;
        week[QStringLiteral("plafond")] = 2000;
        week[QStringLiteral("reste")] = 1240;
        break;
    case Sample::trial:
        account[QStringLiteral("offre")] = QStringLiteral("essai");
        proUntil = daysAfter(now, 12);
        week[QStringLiteral("mots")] = 1520;
        week[QStringLiteral("plafond")] = QJsonValue::Null;
        week[QStringLiteral("reste")] = QJsonValue::Null;
        break;
    case Sample::subscriber:
        account[QStringLiteral("offre")] = QStringLiteral("pro");
        subscription = QJsonObject{{QStringLiteral("periode"), QStringLiteral("mensuel")},
                                   {QStringLiteral("statut"), QStringLiteral("active")},
                                   {QStringLiteral("finPeriode"), daysAfter(now, 26)},
                                   {QStringLiteral("resilie"), false}};
        week[QStringLiteral("mots")] = 3412;
        week[QStringLiteral("plafond")] = QJsonValue::Null;
        week[QStringLiteral("reste")] = QJsonValue::Null;
        break;
    }
    account[QStringLiteral("proJusquAu")] = proUntil;
    account[QStringLiteral("abonnement")] = subscription;
    account[QStringLiteral("semaine")] = week;
    account[QStringLiteral("parrainage")] = QJsonObject{
        {QStringLiteral("code"), SampleAccount::referralCode},
        {QStringLiteral("lien"), onRelay(QStringLiteral("/r/") + SampleAccount::referralCode)},
        {QStringLiteral("amis"), 3},
        {QStringLiteral("amisValides"), 1},
        {QStringLiteral("moisGagnes"), 1}};
    account[QStringLiteral("tarifs")] = QJsonObject{
        {QStringLiteral("devise"), QStringLiteral("eur")},
        {QStringLiteral("mensuel"), QJsonObject{{QStringLiteral("centimes"), 1200}}},
        {QStringLiteral("annuel"), QJsonObject{{QStringLiteral("centimes"), 12000},
                                               {QStringLiteral("centimesParMois"), 1000}}}};
    account[QStringLiteral("liens")] = QJsonObject{
        {QStringLiteral("conditions"), onRelay(QStringLiteral("/conditions"))},
        {QStringLiteral("confidentialite"), onRelay(QStringLiteral("/confidentialite"))}};
    const auto decoded = core::Account::fromJson(QJsonDocument(account).toJson());
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
