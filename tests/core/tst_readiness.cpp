#include "core/Readiness.h"

#include <QTest>

using namespace parlova::core;

class TestReadiness : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Sign-in first, then the microphone, then accessibility: the first missing
    // piece is the one the user is asked to fix.
    void blockerOrder_data() {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("microphone");
        QTest::addColumn<bool>("accessibility");
        QTest::addColumn<QString>("expected"); // empty: no blocker

        using M = Readiness::Microphone;
        const QString signedOut = DictationFailure::relay(RelayFailure::signedOut()).caseText();
        for (const bool accessibility : {false, true}) {
            for (const M microphone : {M::granted, M::notDetermined, M::denied}) {
                QTest::addRow("signed out, microphone %d, accessibility %d", int(microphone),
                              int(accessibility))
                    << false << int(microphone) << accessibility << signedOut;
            }
        }
        QTest::newRow("microphone never asked")
            << true << int(M::notDetermined) << false << u"microphoneNotDetermined"_qs;
        QTest::newRow("microphone refused")
            << true << int(M::denied) << false << u"microphoneDenied"_qs;
        QTest::newRow("accessibility missing")
            << true << int(M::granted) << false << u"accessibilityMissing"_qs;
        QTest::newRow("all in place") << true << int(M::granted) << true << QString();
    }

    void blockerOrder() {
        QFETCH(bool, signedIn);
        QFETCH(int, microphone);
        QFETCH(bool, accessibility);
        QFETCH(QString, expected);

        const Readiness readiness{signedIn, Readiness::Microphone(microphone), accessibility};
        const std::optional<DictationFailure> blocker = readiness.blocker();
        QCOMPARE(blocker ? blocker->caseText() : QString(), expected);
        if (!signedIn)
            QCOMPARE(blocker->message(), RelayFailure::signedOut().message());
    }
};

QTEST_GUILESS_MAIN(TestReadiness)
#include "tst_readiness.moc"
