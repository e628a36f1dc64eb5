// The dictation controller with the real hold machine and session, over
// fakes of the key source, recorder, inserter, permissions and pill, a
// clock moved by hand and a relay whose answers the test hands out.

#include "AccountJson.h"
#include "ControllerDesk.h"
#include "PendingTransport.h"
#include "core/texts/Texts.h"
#include "platform/fake/FakeRecorder.h"

#include <QSignalSpy>
#include <QTest>

using namespace parlova;
using namespace parlova::app;
using namespace Qt::StringLiterals;
using parlova::test::accountJson;
using parlova::test::answer;
using parlova::test::PendingTransport;
using Failure = core::RelayFailure;

namespace {

// A started controller, signed in as "jeton-a" with the given account shown.
struct Desk : test::ControllerDesk {
    std::shared_ptr<PendingTransport> transport = PendingTransport::make();
    platform::FakeRecorder* recorder = new platform::FakeRecorder(takeFolder());

    explicit Desk(const QJsonObject& account = accountJson()) {
        const core::KeychainItem item = core::KeychainItem::session();
        memory.put(item.service(), item.account(), item.label(), "jeton-a");
        startWith(recorder, transport);
        transport->answer(0, answer(200, account));
    }
    ~Desk() { transport->answerAll(answer(503)); }

    int exchanges(QStringView route) const {
        int count = 0;
        for (qsizetype index = 0; index < transport->count(); ++index)
            count += transport->request(index).url.path().endsWith(route) ? 1 : 0;
        return count;
    }
    void answerUpload(PendingTransport::Outcome outcome) {
        for (qsizetype index = transport->count() - 1; index >= 0; --index) {
            if (transport->isWaiting(index) &&
                transport->request(index).url.path().endsWith(u"api/dicter"))
                return transport->answer(index, std::move(outcome));
        }
        QFAIL("no upload waits");
    }
    void signInAnother() {
        QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>> signingIn =
            controller->session().signIn(u"noe@example.fr"_s, u"123456"_s, std::nullopt);
        transport->answer(transport->count() - 1,
                          answer(200, {{"jeton", "jeton-b"}, {"compte", accountJson()}}));
        QVERIFY(core::waitFor(std::move(signingIn)).ok());
    }
    QString pillText() const { return pill->shown() ? pill->shown()->text() : u"-"_s; }
};

PendingTransport::Outcome transcript(const QString& text) {
    const QJsonObject week{{"mots", 160},
                           {"plafond", 2000},
                           {"reste", 1840},
                           {"reinitialisation", "2026-03-09T00:00:00Z"}};
    return answer(200, {{"texte", text}, {"mots", 2}, {"semaine", week}});
}

} // namespace

using parlova::core::Texts;

class DictationControllerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Steps: "press T", "release T", "wait S" (seconds on the clock),
    // "transcript" (the pending upload answers "Bonjour"), "refused" (it
    // answers signed out), "silent" (takes to come hold no sound),
    // "signOut", "signInB" (another account signs in).
    void takes_data() {
        QTest::addColumn<QJsonObject>("account");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("takes");
        QTest::addColumn<int>("uploads");
        QTest::addColumn<QStringList>("inserted");
        QTest::addColumn<QString>("pill");
        QTest::addColumn<int>("reads");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("proWindows");
        QTest::addColumn<int>("warmed"); // connections opened at the press

        const QJsonObject free = accountJson();
        const QString signedOut = Failure::signedOut().message();
        QTest::newRow("held 125 s: transcribed at 120 s")
            << free << QStringList{"press 0", "wait 120", "transcript", "release 125"} << 1 << 1
            << QStringList{"Bonjour"} << u"-"_s << 1 << true << 0 << 1;
        QTest::newRow("free account at its limit")
            << accountJson(u"gratuit"_s, 0) << QStringList{"press 0", "release 1"} << 0 << 0
            << QStringList{}
            << Failure::quotaReached(QDateTime(QDate(2026, 3, 9), QTime(0, 0), Qt::UTC)).message()
            << 1 << true << 1 << 0;
        QTest::newRow("reset date in the past")
            << accountJson(u"gratuit"_s, 0, u"2026-03-02T00:00:00Z"_s)
            << QStringList{"press 0", "release 1", "transcript"} << 1 << 1 << QStringList{"Bonjour"}
            << u"-"_s << 2 << true << 0 << 1;
        QTest::newRow("silent take")
            << free << QStringList{"silent", "press 0", "release 1"} << 1 << 0 << QStringList{}
            << core::DictationFailure::noSound().message() << 1 << true << 0 << 1;
        QTest::newRow("signed out during a take")
            << free << QStringList{"press 0", "signOut", "release 1"} << 1 << 0 << QStringList{}
            << signedOut << 1 << false << 0 << 1;
        QTest::newRow("stale signed-out answer")
            << free << QStringList{"press 0", "release 1", "signOut", "signInB", "refused"} << 1
            << 1 << QStringList{} << signedOut << 1 << true << 0 << 1;
    }
    void takes() {
        QFETCH(QJsonObject, account);
        QFETCH(QStringList, steps);
        Desk desk(account);
        QSignalSpy pro(desk.controller.get(), &DictationController::proNeeded);
        for (const QString& step : steps) {
            const QStringList words = step.split(u' ');
            const double value = words.value(1).toDouble();
            if (words[0] == u"press")
                desk.keys->press(value);
            else if (words[0] == u"release")
                desk.keys->release(value);
            else if (words[0] == u"wait")
                desk.clock.advance(value);
            else if (words[0] == u"transcript")
                desk.answerUpload(transcript(u"Bonjour"_s));
            else if (words[0] == u"refused")
                desk.answerUpload(answer(401));
            else if (words[0] == u"silent")
                desk.recorder->setLoudestDecibels(-70);
            else if (words[0] == u"signOut")
                desk.controller->session().signOut();
            else if (words[0] == u"signInB")
                desk.signInAnother();
        }
        QTEST(desk.recorder->starts(), "takes");
        QTEST(desk.exchanges(u"api/dicter"), "uploads");
        QTEST(desk.inserter->texts(), "inserted");
        QTEST(desk.pillText(), "pill");
        QTEST(desk.exchanges(u"api/compte"), "reads");
        QTEST(desk.controller->status().signedIn(), "signedIn");
        QTEST(int(pro.count()), "proWindows");
        QTEST(desk.transport->warmed, "warmed");
        QCOMPARE(desk.controller->activity(), DictationController::Activity::ready);
        QCOMPARE(desk.takesLeft(), 0);
    }

    // The last transcript stays in memory for 10 minutes, to be pasted
    // again, and no longer (pasting it again and losing it at sign-out are
    // shown on the desktop in tst_dictation_e2e).
    void lastTranscript() {
        // Kept when the paste failed (the pill says where to find it); gone
        // after 10 minutes.
        for (const bool pasteFails : {true, false}) {
            const bool kept = pasteFails;
            Desk desk;
            desk.inserter->setFails(pasteFails);
            desk.keys->press(0);
            desk.keys->release(2);
            desk.answerUpload(transcript(u"Bonjour"_s));
            QTRY_COMPARE(desk.controller->activity(), DictationController::Activity::ready);
            QVERIFY(desk.controller->status().lastDictationKept());
            if (pasteFails)
                QCOMPARE(desk.pillText(), Texts::pasteAgainMessage());
            else
                desk.clock.advance(601);
            desk.inserter->setFails(false);
            QCOMPARE(desk.controller->status().lastDictationKept(), kept);
            QCOMPARE(desk.controller->pasteLast(), kept);
            QTRY_COMPARE(desk.inserter->texts(), QStringList{u"Bonjour"_s});
        }
    }

    // Accessibility granted while running is noticed within a second and
    // re-arms the key monitor.
    void accessibilityGrantedLater() {
        Desk desk;
        desk.permissions->setAccessibility(false);
        desk.clock.advance(1);
        const int starts = desk.keys->starts();
        desk.permissions->setAccessibility(true);
        desk.clock.advance(1);
        QVERIFY(desk.controller->status().accessibility());
        QCOMPARE(desk.keys->starts(), starts + 1);
    }
};

QTEST_GUILESS_MAIN(DictationControllerTest)
#include "tst_dictationcontroller.moc"
