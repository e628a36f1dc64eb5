// The desktop portal's two services as Parlova uses them, against a scripted
// portal on a bus of the test's own: GlobalShortcuts for the hold key,
// RemoteDesktop for the paste.
#include "PrivateSessionBus.h"
#include "Rig.h"
#include "ScriptedPortal.h"
#include "core/Await.h"
#include "core/fake/MemorySecretStore.h"
#include "core/keychain/KeychainItem.h"
#include "core/program/SingleInstance.h"
#include "platform/linux/GlobalShortcutsKeyMonitor.h"
#include "platform/linux/RemoteDesktopPasteShortcut.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace core = parlova::core;
using parlova::core::HoldKey;
using parlova::core::HoldMachine;
using parlova::core::KeychainItem;
using parlova::core::MemorySecretStore;
using parlova::platform::GlobalShortcutsKeyMonitor;
using parlova::platform::RemoteDesktopPasteShortcut;
using parlova::test::PrivateSessionBus;
using parlova::test::ScriptedPortal;

Q_DECLARE_METATYPE(HoldKey)
Q_DECLARE_METATYPE(std::optional<uint>)

// What the monitor reported: "down" (stamped on our monotonic clock), "up
// 3.000" (seconds after that down), "other".
using Reports = QStringList;
using Strokes = QList<QPair<int, uint>>;

class TestDesktopPortal : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateSessionBus> m_bus;
    std::unique_ptr<ScriptedPortal> m_portal;
    std::unique_ptr<GlobalShortcutsKeyMonitor> m_monitor;
    Reports m_reports;
    double m_downAt = 0.0;

    bool bind(HoldKey key) {
        m_monitor->setHoldKey(key);
        return m_monitor->start().ok() && QTest::qWaitFor([this] { return m_monitor->bound(); });
    }

    void report(HoldMachine::Event event) {
        switch (event.kind()) {
        case HoldMachine::Event::Kind::keyDown:
            m_downAt = event.time();
            m_reports << (std::abs(m_downAt - core::SingleInstance::monotonicNow()) < 1.0
                              ? u"down"_s
                              : u"down off our clock"_s);
            break;
        case HoldMachine::Event::Kind::keyUp:
            m_reports << u"up %1"_s.arg(event.time() - m_downAt, 0, 'f', 3);
            break;
        default:
            m_reports << u"other"_s;
        }
    }

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
        m_monitor = std::make_unique<GlobalShortcutsKeyMonitor>(m_bus->connect(u"parlova"_s));
        m_reports.clear();
        connect(m_monitor.get(), &GlobalShortcutsKeyMonitor::event, this,
                &TestDesktopPortal::report);
    }

    void cleanup() {
        m_monitor.reset();
        m_portal.reset();
    }

    // GlobalShortcuts
    void proposesTheHoldKey_data() {
        QTest::addColumn<HoldKey>("key");
        QTest::addColumn<QString>("preferred");
        QTest::newRow("Fn") << HoldKey::function << "XF86Fn";
        QTest::newRow("right Alt") << HoldKey::rightOption << "Alt_R";
        QTest::newRow("right Control") << HoldKey::rightControl << "Control_R";
        QTest::newRow("right Super") << HoldKey::rightCommand << "Super_R";
    }

    void proposesTheHoldKey() {
        QFETCH(HoldKey, key);
        QFETCH(QString, preferred);
        QVERIFY(bind(key));
        // Started again, it binds the same shortcut in a new session.
        QVERIFY(bind(key));
        const QList<ScriptedPortal::Call> binds = m_portal->calls("BindShortcuts");
        QCOMPARE(binds.size(), 2);
        for (const ScriptedPortal::Call& bound : binds) {
            const QVariantList shortcuts = bound.arguments["shortcuts"].toList();
            QCOMPARE(shortcuts.size(), 1);
            // (Its id is the one pressesAndReleases activates.)
            const QVariantMap shortcut = shortcuts.constFirst().toMap();
            QCOMPARE(shortcut["preferred_trigger"].toString(), preferred);
        }
        const QList<ScriptedPortal::Call> closed = m_portal->calls("Close");
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.constFirst().path,
                 binds.constFirst().arguments["session_handle"].toString());
    }

    void showsAndConfiguresTheDesktopsTrigger_data() {
        QTest::addColumn<QString>("given");
        QTest::newRow("the proposed key") << "Alt droite";
        QTest::newRow("none: a modifier alone was refused") << "";
    }

    void showsAndConfiguresTheDesktopsTrigger() {
        QFETCH(QString, given);
        m_portal->setBoundTrigger(given);
        QVERIFY(bind(HoldKey::rightOption));
        QCOMPARE(m_monitor->trigger(), given);

        // The user picks another key in the desktop's settings.
        QSignalSpy changed(m_monitor.get(), &GlobalShortcutsKeyMonitor::triggerChanged);
        QVERIFY(m_monitor->canConfigure());
        m_monitor->configure();
        QTRY_COMPARE(m_portal->calls("ConfigureShortcuts").size(), 1);
        QCOMPARE(m_portal->calls("ConfigureShortcuts").constFirst().arguments["session_handle"],
                 m_portal->calls("BindShortcuts").constFirst().arguments["session_handle"]);
        m_portal->changeTrigger(u"dicter"_s, u"F9"_s);
        QTRY_COMPARE(m_monitor->trigger(), u"F9"_s);
        QCOMPARE(changed.size(), 1);
    }

    void pressesAndReleases_data() {
        // "a MS" and "d MS": Activated and Deactivated with the desktop's
        // stamp; "close": the desktop ends the session (the portal leaving
        // the bus is in tst_dictation_wayland).
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<Reports>("reports");
        QTest::newRow("a hold of 3 s by the desktop's stamps")
            << QStringList{"a 1000", "d 4000"} << Reports{"down", "up 3.000"};
        QTest::newRow("stamps on the wall clock")
            << QStringList{"a 1765000000000", "d 1765000003000"} << Reports{"down", "up 3.000"};
        QTest::newRow("a stray release") << QStringList{"d 4000"} << Reports{};
        QTest::newRow("the desktop repeats the press")
            << QStringList{"a 1000", "a 1500", "d 4000"} << Reports{"down", "up 3.000"};
        QTest::newRow("the desktop ends the session mid-hold")
            << QStringList{"a 1000", "close", "d 4000"} << Reports{"down", "other"};
    }

    void pressesAndReleases() {
        QFETCH(QStringList, script);
        QFETCH(Reports, reports);
        QVERIFY(bind(HoldKey::rightOption));
        // Another shortcut is none of ours.
        m_portal->activate(u"autre"_s, 500);
        for (const QString& step : script) {
            const QStringList words = step.split(u' ');
            if (words.first() == u"close")
                m_portal->closeSessions();
            else if (words.first() == u"a")
                m_portal->activate(u"dicter"_s, words.at(1).toULongLong());
            else
                m_portal->deactivate(u"dicter"_s, words.at(1).toULongLong());
            QTest::qWait(50);
        }
        QTRY_COMPARE(m_reports, reports);
        const bool lost = reports.contains("other");
        QCOMPARE(m_monitor->bound(), !lost);
        QCOMPARE(m_monitor->trigger().isEmpty(), lost);
    }

    // RemoteDesktop
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

QTEST_GUILESS_MAIN(TestDesktopPortal)
#include "tst_desktopportal.moc"
