#include "core/program/SingleInstance.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>

using parlova::core::SingleInstance;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void laterLaunchesHandTheirLinksOver() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
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

        // Pasting the last dictation again is answered, and no launch either;
        // the asking side runs apart, as the command line's process would.
        const auto ask = [&path] {
            auto answer = std::async(std::launch::async,
                                     [&path] { return SingleInstance::handOverPasteLast(path); });
            (void)QTest::qWaitFor(
                [&] {
                    return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
                },
                5000);
            return answer.get();
        };
        QCOMPARE(ask(), SingleInstance::PasteAnswer(false));
        instance.setPasteLast([] { return true; });
        QCOMPARE(ask(), SingleInstance::PasteAnswer(true));
        QTest::qWait(50);
        QCOMPARE(launches.size(), 0);
        QCOMPARE(SingleInstance::handOverPasteLast(folder.filePath(u"aucune"_qs), 200),
                 SingleInstance::PasteAnswer(SingleInstance::Error::notRunning));
    }

    void aSocketLeftByACrashIsTakenOver() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("parlova.sock"));
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        SingleInstance instance(path);
        QVERIFY(instance.listen().ok());
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
