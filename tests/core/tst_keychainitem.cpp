#include "KeychainPrinting.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"
#include "core/keychain/AsyncKeychain.h"
#include "core/keychain/KeychainItem.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace parlova::core;
using namespace std::chrono_literals;
using Lookup = KeychainItem::Lookup;
using Operation = MemorySecretStore::Operation;
using namespace Qt::StringLiterals;

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

class TestKeychainItem : public QObject {
    Q_OBJECT

private:
    const KeychainItem m_item{u"svc"_s, u"acct"_s, u"Étiquette"_s};

private Q_SLOTS:
    void readDecodesAndTrims() {
        const std::pair<QByteArray, Lookup> rows[] = {
            {"\t jeton \r\n", Lookup("jeton")},
            // NEL, no-break and ideographic spaces, line separator.
            {"\v\xc2\x85\xc2\xa0\xe3\x80\x80jeton\xe2\x80\xa8", Lookup("jeton")},
            // Zero-width characters are not white space: they stay.
            {"\xe2\x80\x8bx", Lookup(u"\u200bx"_s)},
            {"", Lookup(SecretStore::itemNotFound)},
            {" \n\t\r\xc2\xa0", Lookup(SecretStore::itemNotFound)},
            {"ab\xff", Lookup(SecretStore::itemNotFound)},        // invalid byte
            {"a\xed\xa0\x80", Lookup(SecretStore::itemNotFound)}, // encoded surrogate
        };
        for (const auto& [stored, expected] : rows) {
            MemorySecretStore keychain;
            keychain.put(m_item.service(), m_item.account(), m_item.label(), stored);
            QVERIFY2(m_item.read(keychain) == expected, stored.toHex().constData());
        }
    }

    // A refused update (a locked collection) is not followed by an add. The
    // other failures, passed up as they come, are printed by the relay
    // commands in tst_commandlinetool. Creating with the label, updating only
    // the value and removing one item of two: tst_secretservicestore, against
    // the real service.
    void aRefusedUpdateIsNotFollowedByAnAdd() {
        MemorySecretStore keychain;
        keychain.failOn(Operation::update, SecretStore::collectionLocked);
        QCOMPARE(m_item.store(keychain, u"x"_s), SecretStore::collectionLocked);
        QCOMPARE(keychain.calls(Operation::add), 0);
    }

    // The asynchronous keychain, on its one worker thread.
    void callsRunInTheOrderMade() {
        MemorySecretStore store;
        AsyncKeychain keychain(store);
        const KeychainItem item = KeychainItem::session();
        // Nothing is awaited before the last call: only the worker's order
        // makes the read see the write and the second write see the first.
        auto stored = keychain.store(item, u"jeton"_s);
        auto read = keychain.read(item);
        auto removed = keychain.remove(item);
        auto removedAgain = keychain.remove(item);
        QCOMPARE(parlova::core::waitFor(std::move(removedAgain)), SecretStore::itemNotFound);
        QCOMPARE(parlova::core::waitFor(std::move(stored)), SecretStore::success);
        QCOMPARE(parlova::core::waitFor(std::move(read)), Lookup(u"jeton"_s));
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
        QCOMPARE(answer.lookup, Lookup(u"jeton"_s));
        QCOMPARE(answer.thread, QThread::currentThread());
        // A stall would be the whole 2 s; the margin absorbs a loaded machine.
        QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("gap of %1 ms").arg(longestGap)));
    }
};

QTEST_GUILESS_MAIN(TestKeychainItem)
#include "tst_keychainitem.moc"
