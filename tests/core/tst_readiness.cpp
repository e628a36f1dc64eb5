#include "core/Readiness.h"

#include <QTest>

using namespace parlova::core;
using Microphone = Readiness::Microphone;

class TestReadiness : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Sign-in first, then the microphone, then accessibility: the first missing
    // piece is the one the user is asked to fix.
    void blockerOrder() {
        for (const Microphone microphone :
             {Microphone::granted, Microphone::notDetermined, Microphone::denied}) {
            for (const bool accessibility : {false, true})
                QCOMPARE(Readiness({false, microphone, accessibility}).blocker(),
                         DictationFailure::relay(RelayFailure::signedOut()));
        }
        QCOMPARE(Readiness({true, Microphone::notDetermined, false}).blocker(),
                 DictationFailure::microphoneNotDetermined());
        QCOMPARE(Readiness({true, Microphone::denied, false}).blocker(),
                 DictationFailure::microphoneDenied());
        QCOMPARE(Readiness({true, Microphone::granted, false}).blocker(),
                 DictationFailure::accessibilityMissing());
        QCOMPARE(Readiness({true, Microphone::granted, true}).blocker(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestReadiness)
#include "tst_readiness.moc"
