#include "DesktopWindows.h"
#include "Rig.h"
#include "ToolRun.h"
#include "platform/linux/ClipboardTextInserter.h"
#include "platform/linux/X11PasteShortcut.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QTest>

#include <QCoro/QCoroTask>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using parlova::platform::ClipboardTextInserter;
using parlova::platform::X11PasteShortcut;
using parlova::test::Terminal;
using parlova::test::TextWindow;
using parlova::test::ToolRun;

namespace {

// Accents, typographic apostrophes, a no-break space before the colon.
const QString sentence = QStringLiteral("L’été à Noël\u00a0: où êtes-vous, Zoé ?");

// Keeps the event loop turning meanwhile: this process may be the one that
// has to answer the tool's clipboard request.
QByteArray run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    (void)QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000);
    return process.readAllStandardOutput();
}

QByteArray clipboardAs(const QString& type) {
    return run(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", type});
}

// Another program takes the clipboard.
void copyElsewhere(const QByteArray& text) {
    run(QStringLiteral("xclip"), {"-i", "-selection", "clipboard"}, text);
    (void)QTest::qWaitFor([&] { return clipboardAs(QStringLiteral("UTF8_STRING")) == text; }, 2000);
}

bool setLayout(const QStringList& arguments) {
    return ToolRun::of(QStringLiteral("setxkbmap"), arguments).ok();
}

QByteArray png() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::optional<parlova::core::DictationFailure> insert(const QString& text) {
    ClipboardTextInserter inserter(std::make_unique<X11PasteShortcut>());
    return QCoro::waitFor(inserter.insert(text));
}

} // namespace

class TestTextInserter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PARLOVA_REQUIRE_RIG(); }
    void cleanup() { setLayout({"us"}); }
    void pastesIntoTextWindow_data();
    void pastesIntoTextWindow();
    void pastesIntoTerminal();
    void clipboardComesBack_data();
    void clipboardComesBack();
};

void TestTextInserter::pastesIntoTextWindow_data() {
    QTest::addColumn<QStringList>("layout");
    QTest::newRow("us") << QStringList{"us"};
    QTest::newRow("Latin group not the current one") << QStringList{"us,ru", "-option", ""};
    QTest::newRow("Cyrillic only") << QStringList{"ru"};
    QTest::newRow("Greek only") << QStringList{"gr"};
}

void TestTextInserter::pastesIntoTextWindow() {
    QFETCH(QStringList, layout);
    QVERIFY(setLayout(layout));
    TextWindow window;
    QVERIFY(window.open());
    if (layout.constFirst().contains(u',')) {
        // Lock the second (Cyrillic) group, as a user switched to it would.
        Display* display = XOpenDisplay(nullptr);
        XkbLockGroup(display, XkbUseCoreKbd, 1);
        XSync(display, False);
        XCloseDisplay(display);
    }
    QCOMPARE(insert(sentence), std::nullopt);
    QTRY_COMPARE(window.text(), sentence);
}

void TestTextInserter::pastesIntoTerminal() {
    Terminal terminal;
    QVERIFY(terminal.open());
    // A hold key still down after a take that reached its maximum length:
    // st would not take Ctrl+Shift+Alt+V for a paste.
    Display* display = XOpenDisplay(nullptr);
    XTestFakeKeyEvent(display, 108, True, CurrentTime);
    XSync(display, False);
    QCOMPARE(insert(sentence), std::nullopt);
    XTestFakeKeyEvent(display, 108, False, CurrentTime);
    XCloseDisplay(display);
    QCOMPARE(terminal.line(), sentence);
}

void TestTextInserter::clipboardComesBack_data() {
    QTest::addColumn<QString>("before"); // "", "text", "text+image"
    QTest::addColumn<bool>("copyDuringWait");
    QTest::newRow("empty stays empty") << QString() << false;
    QTest::newRow("another program's text") << QStringLiteral("text") << false;
    QTest::newRow("text and image on one item") << QStringLiteral("text+image") << false;
    QTest::newRow("a copy during the wait survives") << QStringLiteral("text") << true;
}

void TestTextInserter::clipboardComesBack() {
    QFETCH(QString, before);
    QFETCH(bool, copyDuringWait);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (before == QLatin1String("text")) {
        copyElsewhere("avant");
    } else if (before == QLatin1String("text+image")) {
        auto* data = new QMimeData;
        data->setText(QStringLiteral("avant"));
        data->setData(QStringLiteral("image/png"), png());
        clipboard->setMimeData(data);
    }
    TextWindow window;
    QVERIFY(window.open());

    ClipboardTextInserter inserter(std::make_unique<X11PasteShortcut>());
    QElapsedTimer clock;
    clock.start();
    auto task = inserter.insert(sentence);
    // While the target pastes, the transcript is there, marked transient.
    QCOMPARE(QString::fromUtf8(clipboardAs(QStringLiteral("UTF8_STRING"))), sentence);
    QCOMPARE(clipboardAs(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
    if (copyDuringWait) {
        copyElsewhere("pendant");
        QVERIFY(clock.elapsed() < 400);
    }
    QCOMPARE(QCoro::waitFor(std::move(task)), std::nullopt);
    QVERIFY(clock.elapsed() >= 450);
    QTRY_COMPARE(window.text(), sentence);

    const QByteArray text = clipboardAs(QStringLiteral("UTF8_STRING"));
    if (copyDuringWait)
        QCOMPARE(text, QByteArray("pendant"));
    else if (before.isEmpty())
        QVERIFY(!clipboard->mimeData()->hasText());
    else
        QCOMPARE(text, QByteArray("avant"));
    if (before == QLatin1String("text+image"))
        QCOMPARE(clipboardAs(QStringLiteral("image/png")), png());
}

int main(int argc, char** argv) {
    // The clipboard and the paste are the X server's: a real display is
    // needed, which only the rig provides.
    if (parlova::test::rigPresent())
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    TestTextInserter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textinserter.moc"
