#include "core/program/SingleInstance.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using parlova::core::SingleInstance;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void laterLaunchesHandTheirLinksOver() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
        // What a crash leaves behind answers nobody, and is taken over.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(!SingleInstance::handOver(path, {}, 200).ok());

        SingleInstance first(path);
        QVERIFY(first.listen().ok());
        SingleInstance second(path);
        QVERIFY(!second.listen().ok());

        QSignalSpy received(&first, &SingleInstance::received);
        const QStringList links{QStringLiteral("parlova://compte"),
                                QStringLiteral("parlova://parrainage/K7M2QX")};
        for (const QStringList& handed : {links, QStringList()}) {
            QVERIFY(SingleInstance::handOver(path, handed, 2000).ok());
            QTRY_COMPARE(received.size(), 1);
            QCOMPARE(received.takeFirst().at(0).toStringList(), handed);
        }
    }

    void holdKeysAreNotLaunches() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
        SingleInstance instance(path);
        QVERIFY(instance.listen().ok());
        QSignalSpy launches(&instance, &SingleInstance::received);
        QSignalSpy keys(&instance, &SingleInstance::holdKeyHandedOver);
        const double before = SingleInstance::monotonicNow();
        QVERIFY(SingleInstance::handOverHoldKey(path, true).ok());
        QVERIFY(SingleInstance::handOverHoldKey(path, false).ok());
        QTRY_COMPARE(keys.size(), 2);
        QCOMPARE(keys.at(0).at(0).toBool(), true);
        QCOMPARE(keys.at(1).at(0).toBool(), false);
        // Stamps travel to the microsecond, rounded.
        QVERIFY(keys.at(0).at(1).toDouble() >= before - 1e-6);
        QVERIFY(keys.at(1).at(1).toDouble() >= keys.at(0).at(1).toDouble());
        QCOMPARE(launches.size(), 0);
        // Pasting the last dictation again, asked from another process, is
        // tst_dictation_e2e's (and with nobody listening, tst_commandlinetool's).
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
