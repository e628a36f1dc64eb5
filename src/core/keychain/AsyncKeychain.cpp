#include "core/keychain/AsyncKeychain.h"

#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QThread>

#include <QCoro/QCoroFuture>

#include <utility>

namespace parlova::core {

// One thread with its own event loop; calls are queued to an object living
// there, so they run one at a time, in the order they were made.
class AsyncKeychain::Worker {
public:
    explicit Worker(SecretStore& store)
        : m_store(store) {
        m_thread.setObjectName(QStringLiteral("parlova-keychain"));
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }

    // Calls already queued still run (a token being erased at quit must
    // be erased), then the thread ends.
    ~Worker() {
        QMetaObject::invokeMethod(
            &m_context, [] { QThread::currentThread()->quit(); }, Qt::QueuedConnection);
        m_thread.wait();
    }

    template <typename T, typename Call>
    QFuture<T> run(Call call) {
        QPromise<T> promise;
        QFuture<T> future = promise.future();
        promise.start();
        SecretStore* store = &m_store;
        QMetaObject::invokeMethod(
            &m_context,
            [store, call = std::move(call), promise = std::move(promise)]() mutable {
                promise.addResult(call(*store));
                promise.finish();
            },
            Qt::QueuedConnection);
        return future;
    }

private:
    SecretStore& m_store;
    QThread m_thread;
    QObject m_context;
};

namespace {

// The QFutureWatcher behind the await lives on the awaiting thread, so the
// coroutine resumes there. A future that ends without a result (its call
// dropped because the keychain went away) reads as a keychain failure.
template <typename T>
QCoro::Task<T> answer(QFuture<T> future, T whenDropped) {
    co_await QFuture<void>(future);
    if (future.resultCount() == 0)
        co_return whenDropped;
    co_return future.result();
}

} // namespace

AsyncKeychain::AsyncKeychain(SecretStore& store)
    : m_worker(std::make_unique<Worker>(store)) {}

AsyncKeychain::~AsyncKeychain() = default;

QCoro::Task<KeychainItem::Lookup> AsyncKeychain::read(KeychainItem item) {
    return answer(m_worker->run<KeychainItem::Lookup>(
                      [item](SecretStore& store) { return item.read(store); }),
                  KeychainItem::Lookup(SecretStore::serviceFailure));
}

QCoro::Task<qint32> AsyncKeychain::store(KeychainItem item, QString value) {
    return answer(m_worker->run<qint32>(
                      [item, value](SecretStore& store) { return item.store(store, value); }),
                  SecretStore::serviceFailure);
}

QCoro::Task<qint32> AsyncKeychain::remove(KeychainItem item) {
    return answer(m_worker->run<qint32>([item](SecretStore& store) { return item.remove(store); }),
                  SecretStore::serviceFailure);
}

} // namespace parlova::core
