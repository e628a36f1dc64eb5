#include "PrivateSessionBus.h"
#include "Rig.h"
#include "ScriptedPortal.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"
#include "core/keychain/KeychainItem.h"
#include "platform/linux/RemoteDesktopPasteShortcut.h"

#include <QTest>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace core = parlova::core;
using parlova::core::KeychainItem;
using parlova::core::MemorySecretStore;
using parlova::platform::RemoteDesktopPasteShortcut;
using parlova::test::PrivateSessionBus;
using parlova::test::ScriptedPortal;
using namespace std::chrono_literals;

using Strokes = QList<QPair<int, uint>>;
Q_DECLARE_METATYPE(std::optional<uint>)

class TestRemoteDesktopPaste : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateSessionBus> m_bus;
    std::unique_ptr<ScriptedPortal> m_portal;

private Q_SLOTS:
    void initTestCase() {
        m_bus = std::make_unique<PrivateSessionBus>();
        if (m_bus->address().isEmpty()) {
            PARLOVA_REQUIRE_RIG();
            QFAIL("no private D-Bus daemon");
        }
    }

    void init() {
        m_portal = std::make_unique<ScriptedPortal>(m_bus->connect(u"portail"_s));
        QVERIFY(m_portal->registered());
    }

    void cleanup() { m_portal.reset(); }

    void typesOnlyThePasteKeys_data() {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<Strokes>("strokes");
        // Evdev codes: Ctrl 29, Shift 42, V 47; 1 pressed, 0 released.
        QTest::newRow("Ctrl+V") << false << Strokes{{29, 1}, {47, 1}, {47, 0}, {29, 0}};
        QTest::newRow("terminal: Ctrl+Shift+V")
            << true << Strokes{{29, 1}, {42, 1}, {47, 1}, {47, 0}, {42, 0}, {29, 0}};
    }

    void typesOnlyThePasteKeys() {
        QFETCH(bool, terminal);
        QFETCH(Strokes, strokes);
        MemorySecretStore keychain;
        RemoteDesktopPasteShortcut paste(
            keychain, [terminal] { return terminal; }, m_bus->connect(u"parlova"_s));
        QVERIFY(core::waitFor(paste.offered()));
        QVERIFY(core::waitFor(paste.send()).ok());

        Strokes typed;
        for (const ScriptedPortal::Call& call : m_portal->calls("NotifyKeyboardKeycode"))
            typed << qMakePair(call.arguments["keycode"].toInt(), call.arguments["state"].toUInt());
        QCOMPARE(typed, strokes);
    }

    void asksOnceAndKeepsTheDesktopsAnswer_data() {
        QTest::addColumn<std::optional<uint>>("answer");
        // A token kept from an earlier install that the desktop no longer
        // knows: it asks as if there were none.
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("granted");
        QTest::newRow("granted") << std::optional<uint>(0) << false << true;
        QTest::newRow("granted over a stale token") << std::optional<uint>(0) << true << true;
        QTest::newRow("refused") << std::optional<uint>(1) << true << false;
        QTest::newRow("never answered") << std::optional<uint>() << true << false;
    }

    void asksOnceAndKeepsTheDesktopsAnswer() {
        QFETCH(std::optional<uint>, answer);
        QFETCH(bool, stale);
        QFETCH(bool, granted);
        m_portal->setUserAnswer(answer);
        const KeychainItem item = KeychainItem::remoteDesktopToken();
        MemorySecretStore keychain;
        if (stale)
            keychain.put(item.service(), item.account(), item.label(), "jeton-perime");
        const auto kept = [&] {
            return QString::fromUtf8(
                keychain.value(item.service(), item.account()).value_or(QByteArray()));
        };
        const auto sessionsCreated = [this] {
            return m_portal->calls("CreateSession").size();
        };

        {
            RemoteDesktopPasteShortcut first(keychain, {}, m_bus->connect(u"parlova"_s));
            first.setResponseTimeout(100ms);
            QTRY_COMPARE(first.allowed(), stale);
            QCOMPARE(core::waitFor(first.send()).ok(), granted);
            const ScriptedPortal::Call selection = m_portal->calls("SelectDevices").constFirst();
            // A keyboard, nothing more. (Kept until revoked: the second start below.)
            QCOMPARE(selection.arguments["types"], QVariant(1u));
            QCOMPARE(selection.arguments.contains("restore_token"), stale);

            // The next paste of the run types in the same session; without
            // one, each paste asks again.
            QCOMPARE(core::waitFor(first.send()).ok(), granted);
            QCOMPARE(sessionsCreated(), granted ? 1 : 2);
            QCOMPARE(first.allowed(), granted);

            // Once the desktop has ended it, the token opens a new one.
            m_portal->closeSessions();
            QCOMPARE(core::waitFor(first.send()).ok(), granted);
            QCOMPARE(sessionsCreated(), granted ? 2 : 3);
            QCOMPARE(m_portal->questions(), granted ? 1 : 3);
        }
        const QStringList issued = m_portal->issuedTokens();
        QCOMPARE(kept(), granted ? issued.constLast() : QString());

        // The next start of the program gets in without a question when the
        // desktop gave a token.
        {
            RemoteDesktopPasteShortcut second(keychain, {}, m_bus->connect(u"parlova"_s));
            second.setResponseTimeout(100ms);
            QTRY_COMPARE(second.allowed(), granted);
            QCOMPARE(core::waitFor(second.send()).ok(), granted);
            QCOMPARE(m_portal->calls("SelectDevices").constLast().arguments.value("restore_token"),
                     granted ? QVariant(issued.constLast()) : QVariant());
            QCOMPARE(m_portal->questions(), granted ? 1 : 4);
        }
        QCOMPARE(kept(), granted ? m_portal->issuedTokens().constLast() : QString());
    }
};

QTEST_GUILESS_MAIN(TestRemoteDesktopPaste)
#include "tst_remotedesktoppaste.moc"
