// glib's headers must come before any Qt header.
#include <libsecret/secret.h>

#include "KeychainPrinting.h"
#include "PrivateSessionBus.h"
#include "Rig.h"
#include "ToolRun.h"
#include "core/KeychainItem.h"
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

// Set in the environment of a child run of this executable, which then only
// probes a keychain that is out of reach and prints what the four calls
// answered.
constexpr const char* probeVariable = "PARLOVA_SECRET_PROBE";

// Another program's schema with the same two attributes: the store must
// find and update items by their attributes alone, whoever wrote them.
const SecretSchema* testSchema() {
    static SecretSchema* const schema = secret_schema_new(
        "org.example.AutreTrousseau", SECRET_SCHEMA_DONT_MATCH_NAME, "service",
        SECRET_SCHEMA_ATTRIBUTE_STRING, "account", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    return schema;
}

// Direct libsecret access, to set up what the store must cope with and to
// look at what it wrote.
bool rawStore(const QString& service, const QString& account, const QString& label,
              const QByteArray& bytes) {
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    GError* error = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        testSchema(), SECRET_COLLECTION_DEFAULT, label.toUtf8().constData(), value, nullptr, &error,
        "service", service.toUtf8().constData(), "account", account.toUtf8().constData(), nullptr);
    secret_value_unref(value);
    if (error)
        g_error_free(error);
    return stored;
}

QStringList rawLabels(const QString& service, const QString& account) {
    SecretService* secrets = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
    GHashTable* attributes =
        secret_attributes_build(testSchema(), "service", service.toUtf8().constData(), "account",
                                account.toUtf8().constData(), nullptr);
    GList* found = secret_service_search_sync(secrets, testSchema(), attributes, SECRET_SEARCH_ALL,
                                              nullptr, nullptr);
    QStringList labels;
    for (GList* node = found; node; node = node->next) {
        gchar* label = secret_item_get_label(SECRET_ITEM(node->data));
        labels.append(QString::fromUtf8(label));
        g_free(label);
    }
    g_list_free_full(found, g_object_unref);
    g_hash_table_unref(attributes);
    g_object_unref(secrets);
    return labels;
}

void rawClear(const QString& service) {
    secret_password_clear_sync(testSchema(), nullptr, nullptr, "service",
                               service.toUtf8().constData(), nullptr);
}

// Prints, for each of the four calls, its status and how long it took.
void printCalls(SecretServiceStore& store, const QString& service, const QString& account) {
    const std::function<qint32()> calls[] = {
        [&] { return store.find(service, account).status; },
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
}

int probe() {
    SecretServiceStore::TimeLimits limits;
    limits.busConnect = std::chrono::milliseconds(300);
    SecretServiceStore store(limits);
    printCalls(store, u"fr.orvane.parlova.sonde"_s, u"session"_s);
    return 0;
}

// Every call answered `status`, each within `limitMs`.
void checkCalls(const ToolRun& run, qint32 status, int limitMs) {
    QCOMPARE(run.status, 0);
    QCOMPARE(run.lines().size(), 4);
    for (const QString& line : run.lines()) {
        const QStringList fields = line.split(u' ');
        QCOMPARE(fields.value(0), QString::number(status));
        QVERIFY2(fields.value(1).toInt() < limitMs, qPrintable(line));
    }
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
            rawClear(m_service);
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
        rawClear(m_service);
        QVERIFY(rawStore(m_service, u"session"_s, u"Renommé à la main"_s, "ancien"));
        QCOMPARE(session.store(m_store, u"\u00a0s\u00e9cond\u2028\n"_s), SecretStore::success);
        QCOMPARE(rawLabels(m_service, u"session"_s), QStringList{u"Renommé à la main"_s});
        // Stored as given, trimmed only when read.
        QCOMPARE(m_store.find(m_service, u"session"_s).bytes, QByteArray("\xc2\xa0s\xc3\xa9"
                                                                         "cond\xe2\x80\xa8\n"));
        QCOMPARE(session.read(m_store), Lookup(u"s\u00e9cond"_s));
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
        // Well under the time limits that apply in the program.
        checkCalls(ToolRun::of(QCoreApplication::applicationFilePath(), {}, environment, {}, 30000),
                   SecretStore::serviceUnavailable, 1000);
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
