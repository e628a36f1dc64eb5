#include "app/SingleInstance.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using parlova::app::SingleInstance;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void laterLaunchesHandTheirLinksOver() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
        QVERIFY(!SingleInstance::handOver(path, {}, 200));

        SingleInstance first(path);
        QVERIFY(first.listen());
        SingleInstance second(path);
        QVERIFY(!second.listen());

        QSignalSpy received(&first, &SingleInstance::received);
        const QStringList links{QStringLiteral("parlova://compte"),
                                QStringLiteral("parlova://parrainage/K7M2QX")};
        for (const QStringList& handed : {links, QStringList()}) {
            QVERIFY(SingleInstance::handOver(path, handed, 2000));
            QTRY_COMPARE(received.size(), 1);
            QCOMPARE(received.takeFirst().at(0).toStringList(), handed);
        }
    }

    void aSocketLeftByACrashIsTakenOver() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        SingleInstance instance(path);
        QVERIFY(instance.listen());
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
