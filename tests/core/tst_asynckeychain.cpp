#include "KeychainPrinting.h"
#include "core/AsyncKeychain.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace parlova::core;
using namespace std::chrono_literals;
using Lookup = KeychainItem::Lookup;

namespace {

struct Answer {
    Lookup lookup;
    const QThread* thread;
};

QCoro::Task<Answer> readAndNoteThread(AsyncKeychain* keychain, KeychainItem item) {
    Lookup lookup = co_await keychain->read(std::move(item));
    co_return Answer{std::move(lookup), QThread::currentThread()};
}

} // namespace

class TestAsyncKeychain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void callsRunInTheOrderMade() {
        MemorySecretStore store;
        AsyncKeychain keychain(store);
        const KeychainItem item = KeychainItem::session();
        // Nothing is awaited before the last call: only the worker's order
        // makes the read see the write and the second write see the first.
        auto stored = keychain.store(item, QStringLiteral("jeton"));
        auto read = keychain.read(item);
        auto removed = keychain.remove(item);
        auto removedAgain = keychain.remove(item);
        QCOMPARE(parlova::core::waitFor(std::move(removedAgain)), SecretStore::itemNotFound);
        QCOMPARE(parlova::core::waitFor(std::move(stored)), SecretStore::success);
        QCOMPARE(parlova::core::waitFor(std::move(read)), Lookup(QStringLiteral("jeton")));
        QCOMPARE(parlova::core::waitFor(std::move(removed)), SecretStore::success);
    }

    void slowKeychainNeverStallsTheEventLoop() {
        MemorySecretStore store;
        const KeychainItem item = KeychainItem::session();
        store.put(item.service(), item.account(), item.label(), "jeton");
        store.setDelay(2s);
        AsyncKeychain keychain(store);

        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer ticker;
        ticker.setInterval(10ms);
        connect(&ticker, &QTimer::timeout,
                [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        QElapsedTimer elapsed;
        elapsed.start();
        sinceTick.start();
        ticker.start();

        const Answer answer = parlova::core::waitFor(readAndNoteThread(&keychain, item));
        longestGap = std::max(longestGap, sinceTick.elapsed());
        QVERIFY(elapsed.elapsed() >= 2000);
        QCOMPARE(answer.lookup, Lookup(QStringLiteral("jeton")));
        QCOMPARE(answer.thread, QThread::currentThread());
        // A stall would be the whole 2 s; the margin absorbs a loaded machine.
        QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("gap of %1 ms").arg(longestGap)));
    }
};

QTEST_GUILESS_MAIN(TestAsyncKeychain)
#include "tst_asynckeychain.moc"
