#include "core/fake/MemorySecretStore.h"

#include <thread>

namespace parlova::core {

Done<qint32> MemorySecretStore::begin(Operation operation) {
    ++m_calls[operation];
    if (m_delay.count() > 0)
        std::this_thread::sleep_for(m_delay);
    if (const auto failure = m_failures.constFind(operation); failure != m_failures.cend())
        return *failure;
    return std::monostate{};
}

SecretStore::Found MemorySecretStore::find(const QString& service, const QString& account) {
    if (const Done<qint32> begun = begin(Operation::find); !begun)
        return begun.error();
    const auto item = m_items.constFind({service, account});
    if (item == m_items.cend())
        return itemNotFound;
    return std::optional<QByteArray>(item->value);
}

qint32 MemorySecretStore::update(const QString& service, const QString& account,
                                 const QByteArray& value) {
    if (const Done<qint32> begun = begin(Operation::update); !begun)
        return begun.error();
    const auto item = m_items.find({service, account});
    if (item == m_items.end())
        return itemNotFound;
    item->value = value;
    return success;
}

qint32 MemorySecretStore::add(const QString& service, const QString& account, const QString& label,
                              const QByteArray& value) {
    if (const Done<qint32> begun = begin(Operation::add); !begun)
        return begun.error();
    put(service, account, label, value);
    return success;
}

qint32 MemorySecretStore::remove(const QString& service, const QString& account) {
    if (const Done<qint32> begun = begin(Operation::remove); !begun)
        return begun.error();
    return m_items.remove({service, account}) > 0 ? success : itemNotFound;
}

void MemorySecretStore::failOn(Operation operation, qint32 status) {
    m_failures.insert(operation, status);
}

void MemorySecretStore::failAll(qint32 status) {
    for (const Operation operation :
         {Operation::find, Operation::update, Operation::add, Operation::remove})
        failOn(operation, status);
}

void MemorySecretStore::put(const QString& service, const QString& account, const QString& label,
                            const QByteArray& value) {
    m_items.insert({service, account}, {label, value});
}

bool MemorySecretStore::contains(const QString& service, const QString& account) const {
    return m_items.contains({service, account});
}

std::optional<QByteArray> MemorySecretStore::value(const QString& service,
                                                   const QString& account) const {
    const auto item = m_items.constFind({service, account});
    if (item == m_items.cend())
        return std::nullopt;
    return item->value;
}

std::optional<QString> MemorySecretStore::label(const QString& service,
                                                const QString& account) const {
    const auto item = m_items.constFind({service, account});
    if (item == m_items.cend())
        return std::nullopt;
    return item->label;
}

} // namespace parlova::core
