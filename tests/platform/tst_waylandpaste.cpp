#include "DesktopWindows.h"
#include "Rig.h"
#include "WaylandDesktop.h"
#include "core/Await.h"
#include "platform/linux/ClipboardTextInserter.h"
#include "platform/linux/DataControlClipboard.h"
#include "platform/linux/VirtualKeyboardPasteShortcut.h"
#include "platform/linux/WaylandConnection.h"
#include "platform/linux/WaylandFrontWindow.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

#include <xkbcommon/xkbcommon.h>

using namespace parlova::platform;
using parlova::test::WaylandDesktop;
using parlova::test::WaylandTextWindow;
using namespace Qt::StringLiterals;

namespace {

// Accents, typographic apostrophes, a no-break space before the colon.
const QString sentence = u"L’été à Noël\u00a0: où êtes-vous, Zoé ?"_s;
// The XKB codes of the keys marked V and . on a PC keyboard.
constexpr std::uint32_t keyV = 55;
constexpr std::uint32_t keyDot = 60;

} // namespace

class TestWaylandPaste : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsTheKeyThatGivesV() {
        struct Row {
            const char *layouts, *variants;
            std::uint32_t preferred;
            std::optional<VirtualKeyboardPasteShortcut::KeyInGroup> found;
        };
        const Row rows[] = {
            {"us", "dvorak", 0, {{keyDot, 0}}},   // not where V is printed
            {"us,us", "dvorak,", 1, {{keyV, 1}}}, // the group in use wins
            {"ru", "", 0, std::nullopt},
        };
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        for (const Row& row : rows) {
            const xkb_rule_names names{"evdev", "pc105", row.layouts, row.variants, nullptr};
            xkb_keymap* keymap =
                xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
            QVERIFY2(keymap != nullptr, row.layouts);
            QVERIFY2(VirtualKeyboardPasteShortcut::findKey(keymap, XKB_KEY_v, row.preferred) ==
                         row.found,
                     row.layouts);
            xkb_keymap_unref(keymap);
        }
        xkb_context_unref(context);
    }

    void pastesIntoNativeWindows_data() {
        // Into a GTK window (foot is in tst_dictation_wayland).
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("before");
        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwA"
            "FBQIAX8jx0gAAAABJRU5ErkJggg==");
        QTest::newRow("an image to keep") << u"us"_s << "image/png" << png;
        QTest::newRow("Russian then Latin") << u"ru,us"_s << "text/plain" << QByteArray("avant");
        QTest::newRow("Russian alone") << u"ru"_s << "text/plain" << QByteArray("avant");
    }

    void pastesIntoNativeWindows() {
        PARLOVA_REQUIRE_RIG();
        QFETCH(QString, layout);
        QFETCH(QString, type);
        QFETCH(QByteArray, before);
        // The layout of a seat whose keyboard has not said one yet.
        qputenv("XKB_DEFAULT_LAYOUT", layout.toUtf8());
        const std::shared_ptr<WaylandConnection> connection = WaylandConnection::open();
        QVERIFY(connection);
        QVERIFY(VirtualKeyboardPasteShortcut::offered(*connection));
        ClipboardTextInserter inserter(std::make_unique<DataControlClipboard>(connection),
                                       std::make_unique<VirtualKeyboardPasteShortcut>(
                                           connection, &WaylandFrontWindow::isTerminal));
        // Opened after: as with a real keyboard, the window knows ours by then.
        WaylandTextWindow window(WaylandTextWindow::Kind::gtk);
        QVERIFY(window.open());
        WaylandDesktop::copy(before, type);
        QVERIFY(parlova::core::waitFor(inserter.insert(sentence)).ok());
        QTRY_COMPARE(window.text(), sentence);
        QCOMPARE(WaylandDesktop::focusedWindow(), window.appId());
        QCOMPARE(WaylandDesktop::clipboard(type), before);
        qunsetenv("XKB_DEFAULT_LAYOUT");
    }

    void placedTextIsTransient() {
        PARLOVA_REQUIRE_RIG();
        const std::shared_ptr<WaylandConnection> connection = WaylandConnection::open();
        QVERIFY(connection && DataControlClipboard::offered(*connection));
        DataControlClipboard clipboard(connection);
        auto content = std::make_unique<QMimeData>();
        content->setText(sentence);
        content->setData(u"x-kde-passwordManagerHint"_s, "secret");
        QVERIFY(clipboard.place(std::move(content)).ok());
        QVERIFY(WaylandDesktop::clipboardTypes().contains(u"x-kde-passwordManagerHint"_s));
        QCOMPARE(QString::fromUtf8(WaylandDesktop::clipboard()), sentence);
        QVERIFY(clipboard.holdsPlaced());
        WaylandDesktop::copy("ailleurs");
        QTRY_VERIFY(!clipboard.holdsPlaced());
    }
};

int main(int argc, char** argv) {
    // A program whose windows are native Wayland ones: no XWayland
    // clipboard to lean on.
    WaylandDesktop::useWaylandSession();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    TestWaylandPaste test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandpaste.moc"
