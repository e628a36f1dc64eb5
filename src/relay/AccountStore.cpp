#include "relay/AccountStore.h"

#include "relay/AccountJson.h"
#include "relay/EmailAddress.h"
#include "relay/KeyedDigest.h"
#include "relay/ParisWeek.h"
#include "relay/ReferralCodes.h"
#include "relay/Secrets.h"

#include <QDateTime>
#include <QJsonValue>

namespace parlova::relay {

namespace {

constexpr const char* accountColumns =
    "SELECT id, email, code_parrainage, cree_le, offre_offerte, offert_jusqu_au, semaine_debut, "
    "semaine_mots, premiere_dictee FROM comptes ";

} // namespace

AccountStore::AccountStore(Database& db, const KeyedDigest& digest)
    : m_db(db)
    , m_digest(digest) {}

std::optional<AccountRecord> AccountStore::one(const char* sql, const auto& bind) {
    auto statement = m_db.prepare((QByteArray(accountColumns) + sql).constData());
    bind(statement);
    if (!statement.step())
        return std::nullopt;
    AccountRecord account;
    account.id = statement.integer(0);
    account.email = statement.text(1);
    account.referralCode = statement.text(2);
    account.createdAt = statement.integer(3);
    if (const auto kind = statement.optionalText(4))
        account.offeredKind = Terms::offer(*kind);
    account.offeredUntil = statement.optionalInteger(5);
    account.weekStart = statement.integer(6);
    account.weekWords = statement.integer(7);
    account.firstDictation = statement.optionalInteger(8);
    return account;
}

std::optional<AccountRecord> AccountStore::byId(qint64 id) {
    return one("WHERE id = ?1", [&](Database::Statement& s) { s.bind(1, id); });
}

std::optional<AccountRecord> AccountStore::byEmail(const QString& email) {
    return one("WHERE email = ?1", [&](Database::Statement& s) { s.bind(1, email); });
}

std::optional<AccountRecord> AccountStore::byReferralCode(const QString& code) {
    return one("WHERE code_parrainage = ?1", [&](Database::Statement& s) { s.bind(1, code); });
}

AccountRecord AccountStore::create(const QString& email, qint64 now) {
    // 31^6 codes: a clash is rare, and simply drawn again.
    QString code;
    do {
        code = ReferralCodes::generate();
    } while (byReferralCode(code));
    const qint64 id = m_db.prepare("INSERT INTO comptes (email, code_parrainage, cree_le, "
                                   "semaine_debut) VALUES (?1, ?2, ?3, ?4) RETURNING id")
                          .bind(1, email)
                          .bind(2, code)
                          .bind(3, now)
                          .bind(4, ParisWeek::start(now))
                          .insertedId();
    auto kept = m_db.prepare("DELETE FROM semaines_gardees WHERE empreinte = ?1 "
                             "RETURNING semaine_debut, mots");
    kept.bind(1, m_digest.of(email));
    if (kept.step()) {
        const qint64 start = kept.integer(0);
        const qint64 words = kept.integer(1);
        kept.run();
        if (start == ParisWeek::start(now))
            setWeekWords(id, words, now);
    }
    return *byId(id);
}

qint64 AccountStore::addMonths(qint64 instant, int months) {
    return QDateTime::fromSecsSinceEpoch(instant, Qt::UTC).addMonths(months).toSecsSinceEpoch();
}

std::optional<SubscriptionRecord> AccountStore::subscription(qint64 accountId) {
    auto statement = m_db.prepare(
        "SELECT periode, statut, fin_periode, resilie FROM abonnements WHERE compte = ?1");
    statement.bind(1, accountId);
    if (!statement.step())
        return std::nullopt;
    return SubscriptionRecord{Terms::period(statement.text(0)).value_or(Period::Monthly),
                              Terms::status(statement.text(1)).value_or(SubscriptionStatus::Active),
                              statement.integer(2), statement.integer(3) != 0};
}

std::optional<SubscriptionRecord> AccountStore::settle(qint64 accountId, qint64 now) {
    auto sub = subscription(accountId);
    if (!sub || sub->periodEnd > now)
        return sub;
    if (sub->cancelsAtPeriodEnd || sub->status == SubscriptionStatus::PastDue) {
        m_db.prepare("DELETE FROM abonnements WHERE compte = ?1").bind(1, accountId).run();
        return std::nullopt;
    }
    const int months = Terms::months(sub->period);
    while (sub->periodEnd <= now)
        sub->periodEnd = addMonths(sub->periodEnd, months);
    sub->status = SubscriptionStatus::Active;
    m_db.prepare("UPDATE abonnements SET statut = ?2, fin_periode = ?3 WHERE compte = ?1")
        .bind(1, accountId)
        .bind(2, Terms::text(sub->status))
        .bind(3, sub->periodEnd)
        .run();
    return sub;
}

void AccountStore::saveSubscription(qint64 accountId, const SubscriptionRecord& sub, qint64 now) {
    m_db.prepare("INSERT INTO abonnements (compte, periode, statut, fin_periode, resilie, cree_le) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(compte) DO UPDATE SET "
                 "periode = excluded.periode, statut = excluded.statut, "
                 "fin_periode = excluded.fin_periode, resilie = excluded.resilie")
        .bind(1, accountId)
        .bind(2, Terms::text(sub.period))
        .bind(3, Terms::text(sub.status))
        .bind(4, sub.periodEnd)
        .bind(5, qint64(sub.cancelsAtPeriodEnd ? 1 : 0))
        .bind(6, now)
        .run();
}

OfferState AccountStore::offer(const AccountRecord& account,
                               const std::optional<SubscriptionRecord>& sub, qint64 now) const {
    if (sub)
        return {Offer::Pro, sub->cancelsAtPeriodEnd ? std::optional(sub->periodEnd) : std::nullopt};
    if (account.offeredKind && account.offeredUntil && *account.offeredUntil > now)
        return {*account.offeredKind, account.offeredUntil};
    return {Offer::Free, std::nullopt};
}

qint64 AccountStore::wordsThisWeek(const AccountRecord& account, qint64 now) const {
    return account.weekStart == ParisWeek::start(now) ? account.weekWords : 0;
}

void AccountStore::addWords(qint64 accountId, qint64 words, qint64 now) {
    // A new week starts the count again before these words are added.
    m_db.prepare("UPDATE comptes SET semaine_mots = CASE WHEN semaine_debut = ?2 "
                 "THEN semaine_mots + ?3 ELSE ?3 END, semaine_debut = ?2, "
                 "premiere_dictee = COALESCE(premiere_dictee, CASE WHEN ?3 > 0 THEN ?4 END) "
                 "WHERE id = ?1")
        .bind(1, accountId)
        .bind(2, ParisWeek::start(now))
        .bind(3, words)
        .bind(4, now)
        .run();
}

void AccountStore::setWeekWords(qint64 accountId, qint64 words, qint64 now) {
    m_db.prepare("UPDATE comptes SET semaine_mots = ?3, semaine_debut = ?2 WHERE id = ?1")
        .bind(1, accountId)
        .bind(2, ParisWeek::start(now))
        .bind(3, words)
        .run();
}

void AccountStore::setOffered(qint64 accountId, std::optional<Offer> kind,
                              std::optional<qint64> until) {
    m_db.prepare("UPDATE comptes SET offre_offerte = ?2, offert_jusqu_au = ?3 WHERE id = ?1")
        .bind(1, accountId)
        .bind(2, kind ? std::optional(Terms::text(*kind)) : std::nullopt)
        .bind(3, until)
        .run();
}

void AccountStore::giftMonths(qint64 accountId, int months, qint64 now) {
    const auto account = byId(accountId);
    if (!account)
        return;
    if (auto sub = settle(accountId, now)) {
        // A subscriber's gift pushes the next payment back.
        sub->periodEnd = addMonths(sub->periodEnd, months);
        saveSubscription(accountId, *sub, now);
        return;
    }
    const qint64 from =
        account->offeredUntil && *account->offeredUntil > now ? *account->offeredUntil : now;
    setOffered(accountId, Offer::Gifted, addMonths(from, months));
}

void AccountStore::recordReferral(qint64 referrerId, const QString& friendEmail, qint64 now) {
    m_db.prepare("INSERT INTO parrainages (filleul, parrain, le) VALUES (?1, ?2, ?3) "
                 "ON CONFLICT DO NOTHING")
        .bind(1, Secrets::sha256(EmailAddress::mailbox(friendEmail)))
        .bind(2, referrerId)
        .bind(3, now)
        .run();
}

bool AccountStore::mailboxKnown(const QString& email, qint64 accountId) {
    const QString mailbox = EmailAddress::mailbox(email);
    if (wasDeleted(email) || wasDeleted(mailbox))
        return true;
    // Referrals made before mailboxes were counted are keyed by the address.
    auto referred = m_db.prepare("SELECT 1 FROM parrainages WHERE filleul IN (?1, ?2)");
    referred.bind(1, Secrets::sha256(mailbox)).bind(2, Secrets::sha256(email));
    if (referred.step())
        return true;
    // The addresses that may share the mailbox, told apart exactly below.
    const qsizetype at = mailbox.lastIndexOf(u'@');
    const auto escaped = [](QString text) {
        return text.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'%', QStringLiteral("\\%"))
            .replace(u'_', QStringLiteral("\\_"));
    };
    auto others = m_db.prepare("SELECT email FROM comptes WHERE id != ?1 AND email LIKE ?2 "
                               "ESCAPE '\\'");
    others.bind(1, accountId).bind(2, escaped(mailbox.left(at)) + u'%' + escaped(mailbox.mid(at)));
    while (others.step())
        if (EmailAddress::mailbox(others.text(0)) == mailbox)
            return true;
    return false;
}

bool AccountStore::validateReferral(const QString& friendEmail, qint64 now) {
    auto statement = m_db.prepare("SELECT filleul, parrain FROM parrainages "
                                  "WHERE filleul IN (?1, ?2) AND valide = 0");
    statement.bind(1, Secrets::sha256(EmailAddress::mailbox(friendEmail)))
        .bind(2, Secrets::sha256(friendEmail));
    if (!statement.step())
        return false;
    const QString friendKey = statement.text(0);
    const qint64 referrer = statement.integer(1);
    auto earned = m_db.prepare(
        "SELECT COALESCE(SUM(mois), 0) FROM parrainages WHERE parrain = ?1 AND valide_le > ?2");
    earned.bind(1, referrer).bind(2, addMonths(now, -12));
    earned.step();
    const int months = earned.integer(0) + referralMonths <= maxMonthsPerYear ? referralMonths : 0;
    m_db.prepare("UPDATE parrainages SET valide = 1, valide_le = ?2, mois = ?3 WHERE filleul = ?1")
        .bind(1, friendKey)
        .bind(2, now)
        .bind(3, qint64(months))
        .run();
    if (months > 0)
        giftMonths(referrer, months, now);
    return true;
}

qint64 AccountStore::friendsOf(qint64 referrerId) {
    auto statement = m_db.prepare("SELECT COUNT(*) FROM parrainages WHERE parrain = ?1");
    statement.bind(1, referrerId);
    statement.step();
    return statement.integer(0);
}

ReferralCounts AccountStore::referralCounts(qint64 referrerId) {
    auto counts = m_db.prepare("SELECT COUNT(*), COALESCE(SUM(valide), 0), COALESCE(SUM(mois), 0) "
                               "FROM parrainages WHERE parrain = ?1");
    counts.bind(1, referrerId);
    counts.step();
    return {counts.integer(0), counts.integer(1), counts.integer(2)};
}

bool AccountStore::wasDeleted(const QString& email) {
    auto statement = m_db.prepare("SELECT 1 FROM adresses_supprimees WHERE email = ?1");
    statement.bind(1, Secrets::sha256(email));
    return statement.step();
}

void AccountStore::remove(const AccountRecord& account, qint64 now) {
    for (const char* sql :
         {"DELETE FROM sessions WHERE compte = ?1", "DELETE FROM abonnements WHERE compte = ?1",
          "DELETE FROM pages WHERE compte = ?1", "DELETE FROM parrainages WHERE parrain = ?1",
          "DELETE FROM mots_reserves WHERE compte = ?1", "DELETE FROM comptes WHERE id = ?1"})
        m_db.prepare(sql).bind(1, account.id).run();
    m_db.prepare("INSERT INTO adresses_supprimees (email, le) VALUES (?1, ?2) "
                 "ON CONFLICT (email) DO UPDATE SET le = excluded.le")
        .bind(1, Secrets::sha256(account.email))
        .bind(2, now)
        .run();
    // Deleting the account must not give a free account a fresh week.
    if (const qint64 words = wordsThisWeek(account, now); words > 0)
        m_db.prepare("INSERT INTO semaines_gardees (empreinte, semaine_debut, mots) "
                     "VALUES (?1, ?2, ?3) ON CONFLICT (empreinte) DO UPDATE SET "
                     "semaine_debut = excluded.semaine_debut, mots = excluded.mots")
            .bind(1, m_digest.of(account.email))
            .bind(2, ParisWeek::start(now))
            .bind(3, words)
            .run();
}

void AccountStore::purgeKeptWeeks(qint64 now) {
    m_db.prepare("DELETE FROM semaines_gardees WHERE semaine_debut < ?1")
        .bind(1, ParisWeek::start(now))
        .run();
}

QJsonObject AccountStore::json(const AccountRecord& account, qint64 now, const QString& origin) {
    const auto sub = settle(account.id, now);
    return AccountJson::account(account, sub, offer(account, sub, now), wordsThisWeek(account, now),
                                referralCounts(account.id), now, origin);
}

} // namespace parlova::relay
