#include "DesktopWindows.h"
#include "Rig.h"
#include "app/pill/PillController.h"
#include "app/pill/PillView.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

using parlova::app::PillController;
using parlova::app::PillState;
using parlova::app::PillView;

namespace {

// The timer's time running out, without the wait.
void expire(QTimer& timer) {
    if (timer.isActive())
        QMetaObject::invokeMethod(&timer, "timeout");
}

} // namespace

class TestPill : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messageHides_data() {
        QTest::addColumn<bool>("presentedAfter");
        QTest::newRow("message alone") << false;
        QTest::newRow("new take during the message") << true;
    }

    void messageHides() {
        QFETCH(bool, presentedAfter);
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

    void staysOutOfTheWay() {
        PARLOVA_REQUIRE_RIG();
        parlova::test::TextWindow window;
        QVERIFY(window.open());
        PillController pill;
        // Under the mouse, over the text window.
        QCursor::setPos(640, 700);
        pill.present(PillState::transcribing());
        QVERIFY(QTest::qWaitForWindowExposed(pill.view()));
        QTest::qWait(200);

        const QRect capsule = pill.view()->capsuleGeometry().translated(pill.view()->pos());
        parlova::test::runServing(u"xdotool"_s,
                                  {"mousemove", QString::number(capsule.center().x()),
                                   QString::number(capsule.center().y()), "click", "1"});
        QTRY_COMPARE(window.clicks(), 1);
        const QByteArray focus = parlova::test::runServing(u"xdotool"_s, {"getwindowfocus"});
        QCOMPARE(QString::fromUtf8(focus.trimmed()), window.id());
    }
};

PARLOVA_X11_TEST_MAIN(QApplication, TestPill)

#include "tst_pill.moc"
