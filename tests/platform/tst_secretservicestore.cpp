#include "KeychainPrinting.h"
#include "PrivateSessionBus.h"
#include "Rig.h"
#include "ToolRun.h"
#include "core/keychain/KeychainItem.h"
#include "platform/linux/SecretServiceStore.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cstdio>
#include <functional>

using parlova::core::KeychainItem;
using parlova::core::SecretStore;
using parlova::platform::SecretServiceStore;
using Lookup = KeychainItem::Lookup;
using parlova::test::PrivateSessionBus;
using parlova::test::ToolRun;
using namespace Qt::StringLiterals;

namespace {

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

class TestSecretServiceStore : public QObject {
    Q_OBJECT

private:
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
        // Stored as given (the item trims what it reads: tst_keychainitem).
        QCOMPARE(m_store.find(m_service, u"session"_s).value(), QByteArray("\xc2\xa0s\xc3\xa9"
                                                                           "cond\xe2\x80\xa8\n"));
    }

    void absentItemAndDeletionOfOneOfTwo() {
        PARLOVA_REQUIRE_RIG();
        const KeychainItem session = item(u"session"_s);
        const KeychainItem relay = item(u"relais"_s);
        QCOMPARE(session.read(m_store), Lookup(SecretStore::itemNotFound));
        QCOMPARE(session.remove(m_store), SecretStore::itemNotFound);
        QCOMPARE(m_store.update(m_service, u"session"_s, "x"), SecretStore::itemNotFound);

        QCOMPARE(session.store(m_store, u"jeton"_s), SecretStore::success);
        QCOMPARE(relay.store(m_store, u"clé"_s), SecretStore::success);
        QCOMPARE(session.remove(m_store), SecretStore::success);
        QCOMPARE(session.read(m_store), Lookup(SecretStore::itemNotFound));
        QCOMPARE(relay.read(m_store), Lookup(u"clé"_s));
        QCOMPARE(session.remove(m_store), SecretStore::itemNotFound);
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
    TestSecretServiceStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_secretservicestore.moc"
