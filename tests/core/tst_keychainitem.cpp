#include "KeychainPrinting.h"
#include "core/KeychainItem.h"
#include "core/fake/MemorySecretStore.h"

#include <QTest>

using parlova::core::KeychainItem;
using parlova::core::MemorySecretStore;
using parlova::core::SecretStore;
using Lookup = KeychainItem::Lookup;
using Operation = MemorySecretStore::Operation;
using namespace Qt::StringLiterals;

class TestKeychainItem : public QObject {
    Q_OBJECT

private:
    const KeychainItem m_item{u"svc"_s, u"acct"_s, u"Étiquette"_s};

private Q_SLOTS:
    void definedItemsShareOneServiceAndDifferByAccount() {
        const KeychainItem session = KeychainItem::session();
        const KeychainItem legacy = KeychainItem::legacyRelayKey();
        QCOMPARE(QStringList({session.service(), session.account(), session.label()}),
                 QStringList({"fr.orvane.parlova", "session", "Parlova (session)"}));
        QCOMPARE(QStringList({legacy.service(), legacy.account(), legacy.label()}),
                 QStringList({"fr.orvane.parlova", "relais", "Parlova (relais)"}));
    }

    void readDecodesAndTrims_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<Lookup>("expected");
        QTest::newRow("tabs and CRLF") << QByteArray("\t jeton \r\n") << Lookup("jeton");
        QTest::newRow("NEL, no-break and ideographic spaces, line separator")
            << QByteArray("\v\xc2\x85\xc2\xa0\xe3\x80\x80jeton\xe2\x80\xa8") << Lookup("jeton");
        // Zero-width characters are not white space: they stay.
        QTest::newRow("zero-width space kept")
            << QByteArray("\xe2\x80\x8bx") << Lookup(u"\u200bx"_s);
        QTest::newRow("empty") << QByteArray() << Lookup(SecretStore::itemNotFound);
        QTest::newRow("white space only")
            << QByteArray(" \n\t\r\xc2\xa0") << Lookup(SecretStore::itemNotFound);
        QTest::newRow("invalid byte") << QByteArray("ab\xff") << Lookup(SecretStore::itemNotFound);
        QTest::newRow("encoded surrogate")
            << QByteArray("a\xed\xa0\x80") << Lookup(SecretStore::itemNotFound);
    }
    void readDecodesAndTrims() {
        QFETCH(QByteArray, stored);
        QFETCH(Lookup, expected);
        MemorySecretStore keychain;
        keychain.put(m_item.service(), m_item.account(), m_item.label(), stored);
        QCOMPARE(m_item.read(keychain), expected);
    }

    void readPassesKeychainFailuresUp() {
        MemorySecretStore keychain;
        QCOMPARE(m_item.read(keychain), Lookup(SecretStore::itemNotFound));

        keychain.put(m_item.service(), m_item.account(), m_item.label(), "jeton");
        keychain.failOn(Operation::find, SecretStore::collectionLocked);
        QCOMPARE(m_item.read(keychain), Lookup(SecretStore::collectionLocked));
        keychain.failOn(Operation::find, SecretStore::itemNotFound);
        QCOMPARE(m_item.read(keychain), Lookup(SecretStore::itemNotFound));
    }

    void storeCreatesThenUpdatesKeepingTheLabel() {
        MemorySecretStore keychain;
        QCOMPARE(m_item.store(keychain, u" clé\n"_s), SecretStore::success);
        QCOMPARE(keychain.label(m_item.service(), m_item.account()), m_item.label());
        // Written as given: only reading trims.
        QCOMPARE(keychain.value(m_item.service(), m_item.account()), QByteArray(" cl\xc3\xa9\n"));
        QCOMPARE(keychain.calls(Operation::update), 1);
        QCOMPARE(keychain.calls(Operation::add), 1);

        keychain.put(m_item.service(), m_item.account(), u"Renommé"_s, "ancien");
        QCOMPARE(m_item.store(keychain, u"neuf"_s), SecretStore::success);
        QCOMPARE(keychain.label(m_item.service(), m_item.account()), u"Renommé"_s);
        QCOMPARE(keychain.value(m_item.service(), m_item.account()), QByteArray("neuf"));
        QCOMPARE(keychain.calls(Operation::add), 1);
    }

    void storeReportsTheLastCallMade() {
        MemorySecretStore keychain;
        keychain.failOn(Operation::update, SecretStore::collectionLocked);
        QCOMPARE(m_item.store(keychain, u"x"_s), SecretStore::collectionLocked);
        QCOMPARE(keychain.calls(Operation::add), 0);

        keychain.clearFailures();
        keychain.failOn(Operation::add, SecretStore::promptDismissed);
        QCOMPARE(m_item.store(keychain, u"x"_s), SecretStore::promptDismissed);
        QCOMPARE(keychain.count(), 0);
    }

    void removeTouchesOnlyItsOwnItem() {
        MemorySecretStore keychain;
        const KeychainItem session = KeychainItem::session();
        const KeychainItem legacy = KeychainItem::legacyRelayKey();
        QCOMPARE(session.store(keychain, u"jeton"_s), SecretStore::success);
        QCOMPARE(legacy.store(keychain, u"clé"_s), SecretStore::success);
        QCOMPARE(legacy.remove(keychain), SecretStore::success);
        QCOMPARE(legacy.remove(keychain), SecretStore::itemNotFound);
        QCOMPARE(session.read(keychain), Lookup(u"jeton"_s));

        keychain.failOn(Operation::remove, SecretStore::serviceUnavailable);
        QCOMPARE(session.remove(keychain), SecretStore::serviceUnavailable);
    }
};

QTEST_GUILESS_MAIN(TestKeychainItem)
#include "tst_keychainitem.moc"
