// Parlova on the rig's X desktop: its pill, which never gets in the way of
// the window being dictated into, then a whole dictation.
#include "DesktopProgram.h"
#include "DesktopWindows.h"
#include "Rig.h"
#include "ToolRun.h"
#include "app/pill/PillController.h"
#include "app/pill/PillView.h"
#include "app/windows/StatusMenu.h"
#include "core/domain/RelayFailure.h"
#include "core/program/SingleInstance.h"
#include "core/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

using namespace parlova;
using app::DictationController;
using app::PillController;
using app::PillState;
using test::RelayProcess;
using test::runServing;
using test::ToolRun;

namespace {

// The timer's time running out, without the wait.
void expire(QTimer& timer) {
    if (timer.isActive())
        QMetaObject::invokeMethod(&timer, "timeout");
}

const QString recording = u"/usr/share/pocketsphinx/test/data/goforward.raw"_s;
const QStringList reference{"go", "forward", "ten", "meters"};

// Parlova as it runs on a desktop against a local relay that transcribes
// with PocketSphinx, and a text window of another process in front.
struct Desktop : test::DesktopProgram {
    test::TextWindow window;
    std::unique_ptr<core::SingleInstance> instance;

    Desktop()
        : DesktopProgram(RelayProcess::Settings().withEngine(u"pocketsphinx"_s)) {}

    bool start() {
        if (!made(u"dictee@exemple.fr"_s))
            return false;
        instance = std::make_unique<core::SingleInstance>(folder.filePath(u"parlova.sock"_qs));
        delegate->serve(*instance);
        if (!instance->listen())
            return false;
        delegate->launch();
        if (!QTest::qWaitFor([&] { return status().account().has_value(); }, 20000))
            return false;
        // In front of everything Parlova may have opened.
        return window.open();
    }
    app::StatusModel& status() { return controller().status(); }
    // Holds the hold key while the recording plays into the microphone.
    void dictate() {
        runServing(u"xdotool"_s, {"keydown", "Control_R"});
        QTest::qWait(200);
        runServing(u"paplay"_s,
                   {"--raw", "--rate=16000", "--channels=1", "--format=s16le", recording});
        QTest::qWait(300);
        runServing(u"xdotool"_s, {"keyup", "Control_R"});
    }
    // `parlova --coller-derniere`, finding this instance as a desktop
    // session's programs would.
    ToolRun pasteLastByCommand() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, folder.path());
        // Run while this loop turns: this instance answers it.
        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(qEnvironmentVariable("PARLOVA_EXE"), {"--coller-derniere"});
        (void)QTest::qWaitFor([&] { return command.state() == QProcess::NotRunning; }, 10000);
        return {command.exitCode(), command.readAllStandardOutput(), {}};
    }
    QString focus() {
        return QString::fromUtf8(runServing(u"xdotool"_s, {"getwindowfocus"}).trimmed());
    }
};

// The files under the home and temporary folders, written since `since`,
// that hold `text`.
QStringList filesHolding(const QByteArray& text, const QDateTime& since) {
    QStringList found;
    for (const QString& root : {QDir::homePath(), QDir::tempPath()}) {
        QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (files.fileInfo().lastModified() >= since && file.size() < 8 * 1024 * 1024 &&
                file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
                found << file.fileName();
        }
    }
    return found;
}

} // namespace

class DictationEndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Alone, a message hides once its time runs out; a new take during it
    // keeps the pill up.
    void messageHides() {
        for (const bool presentedAfter : {false, true}) {
            QTimer timer;
            PillController pill(nullptr, &timer);
            pill.showMessage(u"Aucun son capté."_s);
            QVERIFY(pill.isShown());

            // Bottom centre of the screen's free area, 40 above its bottom.
            const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
            const QRect panel = pill.view()->geometry();
            QCOMPARE(panel.center().x(), free.center().x());
            QCOMPARE(panel.bottom(), free.bottom() - 40);

            if (presentedAfter)
                pill.present(PillState::listening());
            expire(timer);
            QCOMPARE(pill.isShown(), presentedAfter);
        }
    }

    void staysOutOfTheWay() {
        PARLOVA_REQUIRE_RIG();
        test::TextWindow window;
        QVERIFY(window.open());
        PillController pill;
        // Under the mouse, over the text window.
        QCursor::setPos(640, 700);
        pill.present(PillState::transcribing());
        QVERIFY(QTest::qWaitForWindowExposed(pill.view()));
        QTest::qWait(200);

        const QRect capsule = pill.view()->capsuleGeometry().translated(pill.view()->pos());
        test::runServing(u"xdotool"_s, {"mousemove", QString::number(capsule.center().x()),
                                        QString::number(capsule.center().y()), "click", "1"});
        QTRY_COMPARE(window.clicks(), 1);
        const QByteArray focus = test::runServing(u"xdotool"_s, {"getwindowfocus"});
        QCOMPARE(QString::fromUtf8(focus.trimmed()), window.id());
    }

    void holdSpeakRelease() {
        PARLOVA_REQUIRE_RIG();
        const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
        Desktop desktop;
        QVERIFY2(desktop.start(), qPrintable(desktop.relay.errorString()));
        desktop.dictate();
        QTRY_VERIFY_WITH_TIMEOUT(!desktop.window.text().isEmpty(), 60000);
        const QStringList heard = desktop.window.text().toLower().split(
            QRegularExpression(u"\\W+"_s), Qt::SkipEmptyParts);
        int found = 0;
        for (const QString& word : reference)
            found += heard.contains(word) ? 1 : 0;
        QVERIFY2(found >= 2, qPrintable(desktop.window.text()));
        qInfo("transcript: %s", qPrintable(desktop.window.text()));

        // (The clipboard given back: tst_textinserter.)
        QTRY_COMPARE(desktop.activity(), DictationController::Activity::ready);
        QCOMPARE(desktop.takeFiles(), QStringList());
        QCOMPARE(desktop.focus(), desktop.window.id());

        // Pasted again, from the menu, then from the command line.
        const QString once = desktop.window.text();
        QVERIFY(
            desktop.delegate->statusMenu().visibleLines().contains(core::Texts::pasteLastItem()));
        for (QAction* item : desktop.delegate->statusMenu().menu()->actions()) {
            if (item->text() == core::Texts::pasteLastItem())
                item->trigger();
        }
        QTRY_COMPARE(desktop.window.text(), once + once);
        QCOMPARE(desktop.pasteLastByCommand().status, 0);
        QTRY_COMPARE(desktop.window.text(), once + once + once);

        // (A tap writing nothing is tst_dictation_wayland's, on a desktop too.)
        const QString before = desktop.window.text();

        // The relay says the week's words are used up.
        RelayProcess::ScriptedAnswer quota(u"api/dicter"_s);
        quota.status = 402;
        const QDateTime reset = QDateTime::currentDateTimeUtc().addDays(3);
        quota.body = {{u"erreur"_s, u"quota"_s},
                      {u"reinitialisation"_s, reset.toString(Qt::ISODate)}};
        QVERIFY(desktop.relay.scriptNextAnswer(quota));
        desktop.dictate();
        const QString message = core::RelayFailure::quotaReached(reset).message();
        QTRY_COMPARE_WITH_TIMEOUT(desktop.pill->model().state(), app::PillState::message(message),
                                  60000);
        QWidget* pro = desktop.delegate->windows().window(app::WindowCoordinator::Screen::pro);
        QVERIFY(pro && pro->isVisible());
        QCOMPARE(desktop.window.text(), before);
        QCOMPARE(desktop.takeFiles(), QStringList());

        // Signed out: nothing left to paste, and the words were never
        // written anywhere.
        desktop.delegate->controller().session().signOut();
        QTRY_VERIFY(
            !desktop.delegate->statusMenu().visibleLines().contains(core::Texts::pasteLastItem()));
        const ToolRun refused = desktop.pasteLastByCommand();
        QCOMPARE(refused.status, 1);
        QCOMPARE(refused.out, QByteArray("Aucune dictée récente à coller.\n"));
        const QStringList holding = filesHolding(once.toUtf8(), started);
        QVERIFY2(holding.isEmpty(), qPrintable(holding.join(u", ")));
    }
};

PARLOVA_X11_TEST_MAIN(QApplication, DictationEndToEndTest)

#include "tst_dictation_e2e.moc"
