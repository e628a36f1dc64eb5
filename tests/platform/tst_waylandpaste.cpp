#include "DesktopWindows.h"
#include "Rig.h"
#include "WaylandDesktop.h"
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

namespace {

// Accents, typographic apostrophes, a no-break space before the colon.
const QString sentence = QStringLiteral("L’été à Noël\u00a0: où êtes-vous, Zoé ?");
// The XKB codes of the keys marked V and . on a PC keyboard.
constexpr std::uint32_t keyV = 55;
constexpr std::uint32_t keyDot = 60;

} // namespace

class TestWaylandPaste : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsTheKeyThatGivesV_data();
    void findsTheKeyThatGivesV();
    void pastesIntoNativeWindows_data();
    void pastesIntoNativeWindows();
    void placedTextIsTransient();
};

void TestWaylandPaste::findsTheKeyThatGivesV_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<int>("preferred");
    QTest::addColumn<int>("code"); // 0: none
    QTest::addColumn<int>("group");
    QTest::newRow("us") << "us"
                        << "" << 0 << int(keyV) << 0;
    QTest::newRow("AZERTY") << "fr"
                            << "" << 0 << int(keyV) << 0;
    QTest::newRow("Dvorak: not where V is printed") << "us"
                                                    << "dvorak" << 0 << int(keyDot) << 0;
    QTest::newRow("Russian first, Latin second") << "ru,us"
                                                 << "" << 0 << int(keyV) << 1;
    QTest::newRow("Greek first, Latin second") << "gr,us"
                                               << "" << 0 << int(keyV) << 1;
    QTest::newRow("the group in use wins") << "us,us"
                                           << "dvorak," << 1 << int(keyV) << 1;
    QTest::newRow("Russian alone") << "ru"
                                   << "" << 0 << 0 << 0;
}

void TestWaylandPaste::findsTheKeyThatGivesV() {
    QFETCH(QString, layout);
    QFETCH(QString, variant);
    QFETCH(int, preferred);
    QFETCH(int, code);
    QFETCH(int, group);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const QByteArray layouts = layout.toUtf8();
    const QByteArray variants = variant.toUtf8();
    const xkb_rule_names names{"evdev", "pc105", layouts.constData(), variants.constData(),
                               nullptr};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    QVERIFY(keymap != nullptr);
    const auto found = VirtualKeyboardPasteShortcut::findKey(keymap, XKB_KEY_v,
                                                             static_cast<std::uint32_t>(preferred));
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    if (code == 0) {
        QVERIFY(!found);
        return;
    }
    QVERIFY(found);
    QCOMPARE(*found,
             (VirtualKeyboardPasteShortcut::KeyInGroup{std::uint32_t(code), std::uint32_t(group)}));
}

void TestWaylandPaste::pastesIntoNativeWindows_data() {
    QTest::addColumn<WaylandTextWindow::Kind>("kind");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("before");
    const QByteArray png =
        QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwA"
                               "FBQIAX8jx0gAAAABJRU5ErkJggg==");
    QTest::newRow("GTK, Ctrl+V, an image to keep") << WaylandTextWindow::Kind::gtk << "us"
                                                   << "image/png" << png;
    QTest::newRow("GTK, Russian then Latin") << WaylandTextWindow::Kind::gtk << "ru,us"
                                             << "text/plain" << QByteArray("avant");
    QTest::newRow("GTK, Russian alone") << WaylandTextWindow::Kind::gtk << "ru"
                                        << "text/plain" << QByteArray("avant");
    QTest::newRow("foot, Ctrl+Shift+V") << WaylandTextWindow::Kind::foot << "us"
                                        << "text/plain" << QByteArray("avant");
}

void TestWaylandPaste::pastesIntoNativeWindows() {
    PARLOVA_REQUIRE_RIG();
    QFETCH(WaylandTextWindow::Kind, kind);
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
    WaylandTextWindow window(kind);
    QVERIFY(window.open());
    WaylandDesktop::copy(before, type);
    QCOMPARE(QCoro::waitFor(inserter.insert(sentence)), std::nullopt);
    if (kind == WaylandTextWindow::Kind::foot)
        parlova::test::runServing(QStringLiteral("wtype"), {"-k", "Return"});

    QTRY_COMPARE(window.text(), sentence);
    QCOMPARE(WaylandDesktop::focusedWindow(), window.appId());
    QCOMPARE(WaylandDesktop::clipboard(type), before);
    qunsetenv("XKB_DEFAULT_LAYOUT");
}

void TestWaylandPaste::placedTextIsTransient() {
    PARLOVA_REQUIRE_RIG();
    const std::shared_ptr<WaylandConnection> connection = WaylandConnection::open();
    QVERIFY(connection && DataControlClipboard::offered(*connection));
    DataControlClipboard clipboard(connection);
    auto content = std::make_unique<QMimeData>();
    content->setText(sentence);
    content->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
    QVERIFY(clipboard.place(std::move(content)));
    QVERIFY(WaylandDesktop::clipboardTypes().contains(QStringLiteral("x-kde-passwordManagerHint")));
    QCOMPARE(QString::fromUtf8(WaylandDesktop::clipboard()), sentence);
    QVERIFY(clipboard.holdsPlaced());
    WaylandDesktop::copy("ailleurs");
    QTRY_VERIFY(!clipboard.holdsPlaced());
}

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
