// glib's headers must come before any Qt header.
#include <libsecret/secret.h>

#include "Rig.h"
#include "core/KeychainItem.h"
#include "platform/linux/SecretServiceStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cstdio>

using parlova::core::KeychainItem;
using parlova::core::SecretStore;
using parlova::platform::SecretServiceStore;
using Lookup = KeychainItem::Lookup;

namespace parlova::core {
char* toString(const KeychainItem::Lookup& lookup) {
    switch (lookup.kind()) {
    case KeychainItem::Lookup::Kind::found:
        return QTest::toString(QStringLiteral("found(%1)").arg(lookup.value()));
    case KeychainItem::Lookup::Kind::unreadable:
        return QTest::toString(QStringLiteral("unreadable(%1)").arg(lookup.status()));
    case KeychainItem::Lookup::Kind::missing:
        break;
    }
    return QTest::toString(QStringLiteral("missing"));
}
} // namespace parlova::core

namespace {

// Set in the environment of a child run of this executable that only probes
// an unreachable keychain and prints the four statuses.
constexpr const char* probeVariable = "PARLOVA_SECRET_PROBE";

const SecretSchema* testSchema() {
    static const SecretSchema schema = {
        .name = "org.freedesktop.Secret.Generic",
        .flags = SECRET_SCHEMA_DONT_MATCH_NAME,
        .attributes = {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        .reserved = 0,
        .reserved1 = nullptr,
        .reserved2 = nullptr,
        .reserved3 = nullptr,
        .reserved4 = nullptr,
        .reserved5 = nullptr,
        .reserved6 = nullptr,
        .reserved7 = nullptr,
    };
    return &schema;
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

std::optional<QByteArray> rawValue(const QString& service, const QString& account) {
    SecretValue* value = secret_password_lookup_binary_sync(
        testSchema(), nullptr, nullptr, "service", service.toUtf8().constData(), "account",
        account.toUtf8().constData(), nullptr);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar* data = secret_value_get(value, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return bytes;
}

QStringList rawLabels(const QString& service, const QString& account) {
    GList* found = secret_password_search_sync(testSchema(), SECRET_SEARCH_ALL, nullptr, nullptr,
                                               "service", service.toUtf8().constData(), "account",
                                               account.toUtf8().constData(), nullptr);
    QStringList labels;
    for (GList* node = found; node; node = node->next) {
        gchar* label = secret_retrievable_get_label(SECRET_RETRIEVABLE(node->data));
        labels.append(QString::fromUtf8(label));
        g_free(label);
    }
    g_list_free_full(found, g_object_unref);
    return labels;
}

void rawClear(const QString& service) {
    secret_password_clear_sync(testSchema(), nullptr, nullptr, "service",
                               service.toUtf8().constData(), nullptr);
}

int probeUnreachableKeychain() {
    SecretServiceStore store;
    QElapsedTimer clock;
    clock.start();
    const QString service = QStringLiteral("fr.orvane.parlova.sonde");
    const qint32 find = store.find(service, QStringLiteral("session")).status;
    const qint32 update = store.update(service, QStringLiteral("session"), "x");
    const qint32 add = store.add(service, QStringLiteral("session"), QStringLiteral("l"), "x");
    const qint32 remove = store.remove(service, QStringLiteral("session"));
    std::printf("%d %d %d %d %lld\n", find, update, add, remove,
                static_cast<long long>(clock.elapsed()));
    return 0;
}

} // namespace

class TestSecretServiceStore : public QObject {
    Q_OBJECT

private:
    SecretServiceStore m_store;
    // Unique per run, so that reruns and parallel runs never see each
    // other's items.
    const QString m_service = QStringLiteral("fr.orvane.parlova.essai-") +
                              QUuid::createUuid().toString(QUuid::WithoutBraces);

    KeychainItem item(const QString& account,
                      const QString& label = QStringLiteral("Parlova (essai)")) const {
        return {m_service, account, label};
    }

private Q_SLOTS:
    void cleanup() {
        if (parlova::test::rigPresent())
            rawClear(m_service);
    }

    // The decoding rules are the item's own; what matters here is that the
    // bytes come back from the service exactly as they were written.
    void readTrimsAndRejectsUnusableValues_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<Lookup>("expected");
        QTest::newRow("trailing line break") << QByteArray("abc\n") << Lookup::found("abc");
        QTest::newRow("Unicode spaces") << QByteArray("\xc2\xa0 cl\xc3\xa9\xe2\x80\xa8")
                                        << Lookup::found(QStringLiteral("clé"));
        QTest::newRow("empty") << QByteArray("") << Lookup::missing();
        QTest::newRow("white space only") << QByteArray(" \n\t") << Lookup::missing();
        QTest::newRow("invalid UTF-8") << QByteArray("ab\xff\xfe") << Lookup::missing();
    }
    void readTrimsAndRejectsUnusableValues() {
        PARLOVA_REQUIRE_RIG();
        QFETCH(QByteArray, stored);
        QFETCH(Lookup, expected);
        QVERIFY(rawStore(m_service, QStringLiteral("session"), QStringLiteral("posé"), stored));
        QCOMPARE(item(QStringLiteral("session")).read(m_store), expected);
    }

    void storeCreatesWithLabelThenUpdatesOnlyTheValue() {
        PARLOVA_REQUIRE_RIG();
        const KeychainItem session = item(QStringLiteral("session"), QStringLiteral("Parlova (é)"));
        QCOMPARE(session.store(m_store, QStringLiteral("premier")), SecretStore::success);
        QCOMPARE(rawLabels(m_service, QStringLiteral("session")),
                 QStringList{QStringLiteral("Parlova (é)")});

        // An update keeps the label the item has, even one set by someone else.
        QVERIFY(rawStore(m_service, QStringLiteral("session"), QStringLiteral("Renommé à la main"),
                         "ancien"));
        QCOMPARE(session.store(m_store, QStringLiteral(" second\n")), SecretStore::success);
        QCOMPARE(rawLabels(m_service, QStringLiteral("session")),
                 QStringList{QStringLiteral("Renommé à la main")});
        // Stored as given, trimmed only when read.
        QCOMPARE(rawValue(m_service, QStringLiteral("session")), QByteArray(" second\n"));
        QCOMPARE(session.read(m_store), Lookup::found(QStringLiteral("second")));
    }

    void absentItemAndDeletionOfOneOfTwo() {
        PARLOVA_REQUIRE_RIG();
        const KeychainItem session = item(QStringLiteral("session"));
        const KeychainItem relay = item(QStringLiteral("relais"));
        QCOMPARE(session.read(m_store), Lookup::missing());
        QCOMPARE(session.remove(m_store), SecretStore::itemNotFound);
        QCOMPARE(m_store.update(m_service, QStringLiteral("session"), "x"),
                 SecretStore::itemNotFound);

        QCOMPARE(session.store(m_store, QStringLiteral("jeton")), SecretStore::success);
        QCOMPARE(relay.store(m_store, QStringLiteral("clé")), SecretStore::success);
        QCOMPARE(session.remove(m_store), SecretStore::success);
        QCOMPARE(session.read(m_store), Lookup::missing());
        QCOMPARE(relay.read(m_store), Lookup::found(QStringLiteral("clé")));
        QCOMPARE(session.remove(m_store), SecretStore::itemNotFound);
    }

    // Whatever the reason nobody answers, every call gives up at once with
    // the same status. Each case runs in a fresh child process, since GLib
    // keeps the session bus connection for the life of a process.
    void unreachableKeychainAnswersAtOnce_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("needsBus");
        QTest::newRow("no bus advertised") << QString() << false;
        QTest::newRow("bus socket missing")
            << QStringLiteral("unix:path=/nonexistent/parlova/bus") << false;
        QTest::newRow("bus without a Secret Service") << QString() << true;
    }
    void unreachableKeychainAnswersAtOnce() {
        QFETCH(QString, address);
        QFETCH(bool, needsBus);
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());

        QProcess bus;
        if (needsBus) {
            const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
            if (daemon.isEmpty())
                QSKIP("dbus-daemon is not installed");
            // A bare bus: no service files, so nothing can be activated.
            QFile config(runtime.filePath(QStringLiteral("bus.conf")));
            QVERIFY(config.open(QIODevice::WriteOnly));
            config.write(
                R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
            config.close();
            bus.start(daemon, {QStringLiteral("--config-file=") + config.fileName(),
                               QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
            QVERIFY(bus.waitForStarted());
            QTRY_VERIFY(bus.canReadLine());
            address = QString::fromUtf8(bus.readLine()).trimmed();
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(probeVariable), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.remove(QStringLiteral("DISPLAY"));
        if (address.isEmpty())
            environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        else
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        QProcess probe;
        probe.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        probe.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(probe.waitForFinished(15000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        const QStringList statuses =
            QString::fromUtf8(probe.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(statuses.size(), 5);
        const QString unavailable = QString::number(SecretStore::serviceUnavailable);
        QCOMPARE(statuses.mid(0, 4), QStringList(4, unavailable));

        if (needsBus) {
            bus.kill();
            bus.waitForFinished();
        }
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(probeVariable))
        return probeUnreachableKeychain();
    QCoreApplication application(argc, argv);
    TestSecretServiceStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_secretservicestore.moc"
