#pragma once

#include "core/keychain/KeychainItem.h"
#include "core/keychain/SecretStore.h"

#include <QString>
#include <QtGlobal>

#include <memory>

#include <QCoro/QCoroTask>

namespace parlova::core {

// The keychain as the desktop program sees it: every call runs on one worker
// thread of its own and its answer comes back on the caller's thread, so the
// event loop never waits on D-Bus. An unlock prompt only keeps the task
// pending; nothing on the calling thread blocks meanwhile.
//
// The store is used from the worker thread only, one call at a time, in the
// order the calls were made.
class AsyncKeychain {
public:
    explicit AsyncKeychain(SecretStore& store);
    ~AsyncKeychain();
    AsyncKeychain(const AsyncKeychain&) = delete;
    AsyncKeychain& operator=(const AsyncKeychain&) = delete;

    QCoro::Task<KeychainItem::Lookup> read(KeychainItem item);
    // The keychain status of the last call made, as KeychainItem::store.
    QCoro::Task<qint32> store(KeychainItem item, QString value);
    // SecretStore::itemNotFound when there was nothing to delete.
    QCoro::Task<qint32> remove(KeychainItem item);

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace parlova::core
