#include "Rig.h"
#include "platform/linux/DesktopPermissions.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

using parlova::platform::DesktopPermissions;
using parlova::platform::DisplaySession;
using parlova::platform::HelpPage;

class TestDesktopPermissions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PARLOVA_REQUIRE_RIG(); }

    void readAndRequest() {
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

QTEST_GUILESS_MAIN(TestDesktopPermissions)
#include "tst_desktoppermissions.moc"
