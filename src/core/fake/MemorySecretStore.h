#pragma once

#include "core/keychain/SecretStore.h"

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QString>

#include <chrono>
#include <optional>

namespace parlova::core {

// A keychain in memory for tests: items keyed by (service, account) with a
// label and raw bytes, failures and slowness on demand. Not thread-safe: one
// thread at a time.
class MemorySecretStore final : public SecretStore {
public:
    enum class Operation { find, update, add, remove };

    Found find(const QString& service, const QString& account) override;
    qint32 update(const QString& service, const QString& account, const QByteArray& value) override;
    qint32 add(const QString& service, const QString& account, const QString& label,
               const QByteArray& value) override;
    qint32 remove(const QString& service, const QString& account) override;

    // From now on the operation answers this status and changes nothing.
    void failOn(Operation operation, qint32 status);
    // Every operation answers this status.
    void failAll(qint32 status);
    void clearFailures() { m_failures.clear(); }
    // Every operation first blocks its caller this long, as a keychain
    // waiting on a busy bus or an unlock prompt does.
    void setDelay(std::chrono::milliseconds delay) { m_delay = delay; }

    // Puts an item as it is, bytes included, whatever they hold.
    void put(const QString& service, const QString& account, const QString& label,
             const QByteArray& value);
    bool contains(const QString& service, const QString& account) const;
    std::optional<QByteArray> value(const QString& service, const QString& account) const;
    std::optional<QString> label(const QString& service, const QString& account) const;
    qsizetype count() const { return m_items.size(); }
    // How many calls each operation received, failed ones included.
    int calls(Operation operation) const { return m_calls.value(operation); }

private:
    struct Item {
        QString label;
        QByteArray value;
    };
    using Key = QPair<QString, QString>;

    // Counts the call; fails with the status set by failOn().
    Done<qint32> begin(Operation operation);

    QMap<Key, Item> m_items;
    QMap<Operation, qint32> m_failures;
    QMap<Operation, int> m_calls;
    std::chrono::milliseconds m_delay{0};
};

} // namespace parlova::core
