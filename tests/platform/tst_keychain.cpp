// The keychain: its items' rules over the in-memory keychain, the
// asynchronous keychain on its worker, then the Secret Service as the desktop
// runs it.
#include "KeychainPrinting.h"
#include "PrivateSessionBus.h"
#include "Rig.h"
#include "ToolRun.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"
#include "core/keychain/AsyncKeychain.h"
#include "core/keychain/KeychainItem.h"
#include "platform/linux/SecretServiceStore.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <cstdio>
#include <functional>

using namespace parlova::core;
using namespace std::chrono_literals;
using parlova::platform::SecretServiceStore;
using Lookup = KeychainItem::Lookup;
using Operation = MemorySecretStore::Operation;
using parlova::test::PrivateSessionBus;
using parlova::test::ToolRun;
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

// Set in the environment of a child run of this executable: it then only
// runs probe().
constexpr const char* probeVariable = "PARLOVA_SECRET_PROBE";

// Another program (secret-tool, with a schema of its own) sets up what the
// store must cope with and looks at what it wrote: the store must find and
// update items by their two attributes alone, whoever wrote them.
ToolRun secretTool(QStringList arguments, const QString& service, const QString& account = {},
                   const QByteArray& input = {}) {
    arguments << u"service"_s << service;
    if (!account.isEmpty())
        arguments << u"account"_s << account;
    return ToolRun::of(u"secret-tool"_s, arguments, QProcessEnvironment::systemEnvironment(),
                       input);
}

QStringList rawLabels(const QString& service, const QString& account) {
    QStringList labels;
    for (const QString& line : secretTool({u"search"_s, u"--all"_s}, service, account).lines()) {
        if (line.startsWith(u"label = "))
            labels << line.mid(8);
    }
    return labels;
}

// Prints, for each of the four calls on a keychain out of reach, its status
// and how long it took.
int probe() {
    SecretServiceStore::TimeLimits limits;
    limits.busConnect = std::chrono::milliseconds(300);
    SecretServiceStore store(limits);
    const QString service = u"fr.orvane.parlova.sonde"_s, account = u"session"_s;
    const std::function<qint32()> calls[] = {
        [&] {
            const SecretStore::Found found = store.find(service, account);
            return found ? SecretStore::success : found.error();
        },
        [&] { return store.update(service, account, "x"); },
        [&] { return store.add(service, account, u"l"_s, "x"); },
        [&] { return store.remove(service, account); },
    };
    for (const auto& call : calls) {
        QElapsedTimer clock;
        clock.start();
        const qint32 status = call();
        std::printf("%d %lld\n", status, static_cast<long long>(clock.elapsed()));
    }
    return 0;
}

} // namespace

class TestKeychain : public QObject {
    Q_OBJECT

private:
    const KeychainItem m_item{u"svc"_s, u"acct"_s, u"Étiquette"_s};
    SecretServiceStore m_store;
    // Unique per run, so that reruns and parallel runs never see each
    // other's items.
    const QString m_service =
        u"fr.orvane.parlova.essai-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);

    KeychainItem item(const QString& account, const QString& label = u"Parlova (essai)"_s) const {
        return {m_service, account, label};
    }

private Q_SLOTS:
    void cleanup() {
        if (parlova::test::rigPresent())
            secretTool({u"clear"_s}, m_service);
    }

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
    // the value and removing one item of two: below, against the real service.
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

    // The Secret Service.
    // The decoding rules are the item's own; what matters here is that the
    // bytes come back from the service exactly as they were written.
    void storeCreatesWithLabelThenUpdatesOnlyTheValue() {
        PARLOVA_REQUIRE_RIG();
        const KeychainItem session = item(u"session"_s, u"Parlova (é)"_s);
        QCOMPARE(session.store(m_store, u"premier"_s), SecretStore::success);
        QCOMPARE(rawLabels(m_service, u"session"_s), QStringList{u"Parlova (é)"_s});

        // An update keeps the label the item has, even one that another
        // program gave it.
        secretTool({u"clear"_s}, m_service);
        QVERIFY(secretTool({u"store"_s, u"--label"_s, u"Renommé à la main"_s}, m_service,
                           u"session"_s, "ancien")
                    .ok());
        QCOMPARE(session.store(m_store, u"\u00a0s\u00e9cond\u2028\n"_s), SecretStore::success);
        QCOMPARE(rawLabels(m_service, u"session"_s), QStringList{u"Renommé à la main"_s});
        // Stored as given (the item trims what it reads: readDecodesAndTrims).
        QCOMPARE(m_store.find(m_service, u"session"_s).value(), QByteArray("\xc2\xa0s\xc3\xa9"
                                                                           "cond\xe2\x80\xa8\n"));
    }

    void absentItemAndDeletionOfOneOfTwo() {
        PARLOVA_REQUIRE_RIG();
        const KeychainItem session = item(u"session"_s);
        const KeychainItem relay = item(u"relais"_s);
        QCOMPARE(session.read(m_store), Lookup(SecretStore::itemNotFound));
        QCOMPARE(session.remove(m_store), SecretStore::itemNotFound);

        QCOMPARE(session.store(m_store, u"jeton"_s), SecretStore::success);
        QCOMPARE(relay.store(m_store, u"clé"_s), SecretStore::success);
        QCOMPARE(session.remove(m_store), SecretStore::success);
        QCOMPARE(session.read(m_store), Lookup(SecretStore::itemNotFound));
        QCOMPARE(relay.read(m_store), Lookup(u"clé"_s));
    }

    // Whatever the reason nobody answers, every call gives up quickly with
    // the same status. Each case runs in a fresh child
    // process, since GLib keeps the session bus connection for the life of a process.
    void unreachableKeychainAnswersAtOnce_data() {
        QTest::addColumn<bool>("needsBus");
        QTest::newRow("no bus advertised") << false;
        QTest::newRow("bus without a Secret Service") << true;
    }
    void unreachableKeychainAnswersAtOnce() {
        QFETCH(bool, needsBus);
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());

        PrivateSessionBus bus;
        const QString address = bus.address();
        if (needsBus && address.isEmpty())
            QSKIP("dbus-daemon is not installed");

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(probeVariable), u"unreachable"_s);
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        environment.remove(u"DISPLAY"_s);
        if (needsBus)
            environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
        else
            environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        const ToolRun run =
            ToolRun::of(QCoreApplication::applicationFilePath(), {}, environment, {}, 30000);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines().size(), 4);
        for (const QString& line : run.lines()) {
            const QStringList fields = line.split(u' ');
            QCOMPARE(fields.value(0), QString::number(SecretStore::serviceUnavailable));
            // Well under the time limits that apply in the program.
            QVERIFY2(fields.value(1).toInt() < 1000, qPrintable(line));
        }
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(probeVariable))
        return probe();
    QCoreApplication application(argc, argv);
    TestKeychain test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keychain.moc"
