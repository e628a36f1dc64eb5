#pragma once

#include "relay/Database.h"
#include "relay/Terms.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace parlova::relay {

// An account as stored.
struct AccountRecord {
    qint64 id = 0;
    QString email;
    QString referralCode;
    qint64 createdAt = 0;
    // Trial or Gifted with its end, for Pro that nobody pays for.
    std::optional<Offer> offeredKind;
    std::optional<qint64> offeredUntil;
    // The words counted since weekStart (a Monday 00:00 in Paris).
    qint64 weekStart = 0;
    qint64 weekWords = 0;
    std::optional<qint64> firstDictation;
};

// A paid subscription as stored.
struct SubscriptionRecord {
    Period period = Period::Monthly;
    SubscriptionStatus status = SubscriptionStatus::Active;
    qint64 periodEnd = 0;
    bool cancelsAtPeriodEnd = false;
};

// The offer an account has at one instant, in the words of the account JSON.
struct OfferState {
    Offer offer = Offer::Free;
    std::optional<qint64> proUntil;
    bool isFree() const { return offer == Offer::Free; }
};

// What the account JSON shows of the referrals an account made.
struct ReferralCounts {
    qint64 friends = 0;
    qint64 validated = 0;
    qint64 monthsEarned = 0;
};

class KeyedDigest;

// Accounts, their subscriptions and their referral figures. Every member is
// called with the database guard held; time is always passed in.
class AccountStore {
public:
    static constexpr qint64 weeklyCap = 2000;
    static constexpr qint64 monthlyCents = 1200;
    static constexpr qint64 yearlyCents = 12000;
    static constexpr qint64 yearlyCentsPerMonth = 1000;
    // A referred friend's gift, and what a referrer earns per validated friend.
    static constexpr int referralMonths = 1;
    // No referrer collects more friends than this, nor earns more months in
    // a rolling year.
    static constexpr qint64 maxFriends = 100;
    static constexpr qint64 maxMonthsPerYear = 12;

    AccountStore(Database& db, const KeyedDigest& digest);

    std::optional<AccountRecord> byId(qint64 id);
    std::optional<AccountRecord> byEmail(const QString& email);
    std::optional<AccountRecord> byReferralCode(const QString& code);

    // A new free account with a fresh referral code. An address deleted
    // earlier in the week finds that week's words again.
    AccountRecord create(const QString& email, qint64 now);

    // The subscription as stored, whatever time has brought since.
    std::optional<SubscriptionRecord> subscription(qint64 accountId);
    // The subscription after the renewals and endings that time has brought,
    // stored: a period that ends renews (a trial becomes active), unless the
    // subscription was cancelled or its payment failed, in which case it ends.
    std::optional<SubscriptionRecord> settle(qint64 accountId, qint64 now);
    void saveSubscription(qint64 accountId, const SubscriptionRecord& subscription, qint64 now);

    OfferState offer(const AccountRecord& account, const std::optional<SubscriptionRecord>& sub,
                     qint64 now) const;

    // The words of the current week (0 once a new week has started).
    qint64 wordsThisWeek(const AccountRecord& account, qint64 now) const;
    void addWords(qint64 accountId, qint64 words, qint64 now);

    // Gifted Pro from now (or from the end of the gifted Pro already running).
    void giftMonths(qint64 accountId, int months, qint64 now);
    void setOffered(qint64 accountId, std::optional<Offer> kind, std::optional<qint64> until);
    void setWeekWords(qint64 accountId, qint64 words, qint64 now);

    // Referral bookkeeping, keyed by the digest of the friend's mailbox
    // (EmailAddress::mailbox) so that it outlives the friend's account and
    // counts each mailbox once.
    void recordReferral(qint64 referrerId, const QString& friendEmail, qint64 now);
    // Whether the address's mailbox was referred before, belonged to a
    // deleted account, or has an account other than `accountId`.
    bool mailboxKnown(const QString& email, qint64 accountId);
    // The friend's first dictation validates the referral and earns the
    // referrer a month of Pro, up to maxMonthsPerYear. True when that
    // happened now.
    bool validateReferral(const QString& friendEmail, qint64 now);
    qint64 friendsOf(qint64 referrerId);
    ReferralCounts referralCounts(qint64 referrerId);
    bool wasDeleted(const QString& email);

    // Removes the account, its sessions, subscription and pages; remembers
    // the digest of its address, and keeps the week's words under a keyed
    // digest until the week ends.
    void remove(const AccountRecord& account, qint64 now);
    // Forgets the kept weeks that have ended.
    void purgeKeptWeeks(qint64 now);

    // The whole account JSON (subscriptions settled first), links on the origin.
    QJsonObject json(const AccountRecord& account, qint64 now, const QString& origin);

    static qint64 addMonths(qint64 instant, int months);

private:
    std::optional<AccountRecord> one(const char* sql, const auto& bind);

    Database& m_db;
    const KeyedDigest& m_digest;
};

} // namespace parlova::relay
