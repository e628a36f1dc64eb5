// The paste on the rig's X desktop, then the permissions a desktop asks for
// (the paste's keys, the microphone).
#include "DesktopWindows.h"
#include "Rig.h"
#include "core/Await.h"
#include "platform/linux/ClipboardTextInserter.h"
#include "platform/linux/DesktopPermissions.h"
#include "platform/linux/X11Display.h"
#include "platform/linux/X11PasteShortcut.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace Qt::StringLiterals;

using parlova::platform::ClipboardTextInserter;
using parlova::platform::DesktopPermissions;
using parlova::platform::DisplaySession;
using parlova::platform::HelpPage;
using parlova::platform::X11PasteShortcut;
using parlova::test::runServing;

namespace {

// Accents, typographic apostrophes, a no-break space before the colon.
const QString sentence = u"L’été à Noël\u00a0: où êtes-vous, Zoé ?"_s;

QByteArray clipboardAs(const char* type) {
    return runServing(u"xclip"_s, {"-o", "-selection", "clipboard", "-t", type});
}

// Another program takes the clipboard.
void copyElsewhere(const QByteArray& text) {
    runServing(u"xclip"_s, {"-i", "-selection", "clipboard"}, text);
    (void)QTest::qWaitFor([&] { return clipboardAs("UTF8_STRING") == text; }, 2000);
}

// One red pixel.
const QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                              "QVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==");

} // namespace

class TestTextInserter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PARLOVA_REQUIRE_RIG(); }
    void cleanup() { runServing(u"setxkbmap"_s, {"us"}); }

    void pastesIntoTerminalWithHoldKeyDown() {
        // st pastes on Ctrl+Shift+V only, not with Alt held as well.
        QTemporaryDir folder;
        const QString line = folder.filePath(u"ligne"_s);
        QProcess terminal;
        terminal.start(u"st"_s,
                       {"-t", "st-parlova", "-e", "sh", "-c",
                        QStringLiteral("IFS= read -r l; printf %s \"$l\" > '%1.0'; mv '%1.0' '%1'; "
                                       "sleep 60")
                            .arg(line)});
        QVERIFY(!parlova::test::focusWindow(u"st-parlova"_s).isEmpty());
        QTest::qWait(300); // the shell starts reading

        // Right Alt held: the take ended at its maximum length, key still down.
        const parlova::platform::X11Display display;
        QVERIFY(display);
        XTestFakeKeyEvent(display.get(), 108, True, CurrentTime);
        XSync(display.get(), False);
        ClipboardTextInserter inserter(std::make_unique<X11PasteShortcut>());
        QVERIFY(parlova::core::waitFor(inserter.insert(sentence)).ok());
        XTestFakeKeyEvent(display.get(), 108, False, CurrentTime);
        runServing(u"xdotool"_s, {"key", "Return"});

        QTRY_VERIFY(QFile::exists(line));
        QFile file(line);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), sentence);
        terminal.kill();
        terminal.waitForFinished();
    }

    void clipboardComesBack_data() {
        // Whatever the layout, the key that gives "v" is found.
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QByteArray>("before"); // on the clipboard of another program
        QTest::addColumn<bool>("withImage");    // or of this one, beside an image
        QTest::addColumn<QByteArray>("during"); // copied during the wait
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("ownerDies"); // the other program, once it has copied
        const QByteArray none;
        QTest::newRow("empty stays empty, Cyrillic")
            << u"ru"_s << none << false << none << none << false;
        // The owner quits when the transcript takes its place: its text is back.
        QTest::newRow("text, Greek")
            << u"gr"_s << QByteArray("avant") << false << none << QByteArray("avant") << false;
        QTest::newRow("owner killed before the paste")
            << u"us"_s << QByteArray("avant") << false << none << none << true;
        QTest::newRow("text, image and an empty format")
            << u"us"_s << QByteArray("avant") << true << none << QByteArray("avant") << false;
        QTest::newRow("copy during the wait")
            << u"us"_s << QByteArray("avant") << false << QByteArray("pendant")
            << QByteArray("pendant") << false;
    }

    void clipboardComesBack() {
        QFETCH(QString, layout);
        QFETCH(QByteArray, before);
        QFETCH(bool, withImage);
        QFETCH(QByteArray, during);
        QFETCH(QByteArray, after);
        QFETCH(bool, ownerDies);
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        if (withImage) {
            auto* data = new QMimeData;
            data->setText(QString::fromUtf8(before));
            data->setData(u"image/png"_s, png);
            data->setData(u"application/x-parlova-vide"_s, QByteArray());
            clipboard->setMimeData(data);
        } else if (!before.isEmpty()) {
            copyElsewhere(before);
        }
        if (ownerDies)
            runServing(u"pkill"_s, {"-KILL", "-x", "xclip"});
        parlova::test::TextWindow window;
        QVERIFY(window.open());
        runServing(u"setxkbmap"_s, {layout});

        ClipboardTextInserter inserter(std::make_unique<X11PasteShortcut>());
        QElapsedTimer clock;
        clock.start();
        auto task = inserter.insert(sentence);
        // While the target pastes: the transcript, marked as transient.
        QCOMPARE(QString::fromUtf8(clipboardAs("UTF8_STRING")), sentence);
        QCOMPARE(clipboardAs("x-kde-passwordManagerHint"), QByteArray("secret"));
        if (!during.isEmpty()) {
            copyElsewhere(during);
            QVERIFY(clock.elapsed() < 400);
        }
        QVERIFY(parlova::core::waitFor(std::move(task)).ok());
        QVERIFY(clock.elapsed() >= 500);
        QTRY_COMPARE(window.text(), sentence);

        QCOMPARE(clipboardAs("UTF8_STRING"), after);
        if (withImage) {
            QCOMPARE(clipboardAs("image/png"), png);
            QVERIFY(clipboardAs("TARGETS").contains("application/x-parlova-vide"));
        }
    }
    void permissionsAreReadAndRequested() {
        const HelpPage help({qEnvironmentVariable("PARLOVA_SOURCE_DIR") + u"/docs"_s});
        QList<QUrl> opened;
        const auto open = [&](const QUrl& url) {
            opened << url;
            return true;
        };

        // This machine has no /dev/uinput, so Wayland lacks the keys. (X11's
        // keys and the microphone granted: tst_dictation_e2e dictates with them.)
        DesktopPermissions x11(DisplaySession::x11, help, open);
        DesktopPermissions wayland(DisplaySession::wayland, help, open);
        QVERIFY(!wayland.accessibility());

        // A microphone already there needs no help; the keyboard page opens always.
        x11.requestMicrophone();
        QVERIFY(opened.isEmpty());
        x11.requestAccessibility();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.constFirst().fragment(), u"clavier"_s);

        QFile page(opened.constFirst().toLocalFile());
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray html = page.readAll();
        for (const char* section : {HelpPage::keyboardSection, HelpPage::microphoneSection})
            QVERIFY2(html.contains(QByteArray("id=\"") + section + '"'), section);
    }
};

PARLOVA_X11_TEST_MAIN(QGuiApplication, TestTextInserter)

#include "tst_textinserter.moc"
