#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace parlova::core {

// The four primitive keychain calls, on items keyed by the pair (service,
// account). Every call answers with a keychain status: 0 on success,
// itemNotFound when nothing matches, another negative value for any other
// failure. The values other than 0 and itemNotFound borrow the codes that the
// first keychain of this program used for the same situations, so that a
// status read in a log means the same thing on every platform.
class SecretStore {
public:
    static constexpr qint32 success = 0;
    static constexpr qint32 itemNotFound = -25300;
    // No keychain service answers: no session bus, or nobody owns the name.
    static constexpr qint32 serviceUnavailable = -25291;
    // The collection holding the item is locked and stays locked.
    static constexpr qint32 collectionLocked = -25308;
    // The user dismissed the keychain's unlock or confirmation prompt.
    static constexpr qint32 promptDismissed = -128;
    // The keychain answered with any other failure.
    static constexpr qint32 serviceFailure = -26276;

    // The answer to find(): the stored bytes, or none when the item carries
    // no value at all; else the status that kept them away.
    using Found = Result<std::optional<QByteArray>, qint32>;

    virtual ~SecretStore() = default;

    virtual Found find(const QString& service, const QString& account) = 0;
    // Replaces the value of every matching item; labels stay as they are.
    virtual qint32 update(const QString& service, const QString& account,
                          const QByteArray& value) = 0;
    // Creates the item with its label.
    virtual qint32 add(const QString& service, const QString& account, const QString& label,
                       const QByteArray& value) = 0;
    // Removes every matching item.
    virtual qint32 remove(const QString& service, const QString& account) = 0;

    // The French words for a status the stores can return, without final
    // punctuation; a null string for any other value.
    static QString message(qint32 status);

protected:
    SecretStore() = default;
    SecretStore(const SecretStore&) = default;
    SecretStore& operator=(const SecretStore&) = default;
};

} // namespace parlova::core
