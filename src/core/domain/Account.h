#pragma once

#include "core/domain/RelayJSON.h"
#include "protocol/AccountPayload.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>
#include <utility>

namespace parlova::core {

// The user's account as the relay describes it (protocol::AccountPayload,
// which protocol::AccountCodec reads), with what the program makes of it.
// Every rule that depends on the time takes "now" from the caller.
struct Account : protocol::AccountPayload {
    Account() = default;
    explicit Account(protocol::AccountPayload payload)
        : protocol::AccountPayload(std::move(payload)) {}

    // Free Pro days count as kept on subscribing only beyond this margin.
    static constexpr qint64 offeredProCarryOver = 172800; // 48 hours, in seconds

    static Decoded<Account> fromJson(const QByteArray& bytes);
    static Decoded<Account> fromJsonValue(const QJsonValue& value);

    // The short offer line, with 0 words left when the week has no count.
    QString offerLine() const;
    // Paid Pro, with or without an end date.
    bool isSubscriber() const { return offer.kind() == Offer::Kind::pro; }
    // A free account with no word left, until the week starts again.
    bool isAtLimit(const QDateTime& now) const;
    bool weekHasEnded(const QDateTime& now) const;
    // The end of a trial or gift lying more than offeredProCarryOver after now.
    std::optional<QDateTime> offeredProKept(const QDateTime& now) const;
    // Takes the week of a dictation answer when it fits the offer (a free
    // offer needs both a cap and a count, other offers neither); otherwise
    // keeps the account as it was and answers false.
    bool update(const Week& newWeek);

    friend bool operator==(const Account&, const Account&) = default;
};

} // namespace parlova::core
