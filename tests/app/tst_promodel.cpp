// The Pro window's model against scripted session actions.

#include "app/ProModel.h"
#include "app/fake/ScriptedSession.h"
#include "core/Texts.h"

#include <QTest>

using namespace parlova;
using namespace parlova::app;
using namespace Qt::StringLiterals;
using Failure = core::RelayFailure;
using Period = core::PaymentPage::Period;

class ProModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void open_data() {
        QTest::addColumn<std::optional<Failure>>("failure");
        QTest::addColumn<bool>("browserAccepts");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<std::optional<QString>>("error");

        QTest::newRow("opened") << std::optional<Failure>() << true
                                << QStringList{u"paymentPage mensuel"_s, u"watchPayment"_s}
                                << std::optional<QString>();
        QTest::newRow("browser refuses")
            << std::optional<Failure>() << false << QStringList{u"paymentPage mensuel"_s}
            << std::optional<QString>(core::Texts::browserFailed());
        QTest::newRow("already subscribed")
            << std::optional<Failure>(Failure::alreadySubscribed()) << true
            << QStringList{u"paymentPage mensuel"_s, u"refreshAccount"_s}
            << std::optional<QString>(Failure::alreadySubscribed().message());
    }
    // The yearly plan pressed while the monthly page is being asked for
    // opens nothing more.
    void open() {
        QFETCH(std::optional<Failure>, failure);
        QFETCH(bool, browserAccepts);
        ScriptedSession session;
        session.held = true;
        if (failure)
            session.failures.append(*failure);
        QList<QUrl> opened;
        ProModel model(session, [&](const QUrl& url) {
            opened.append(url);
            return browserAccepts;
        });
        model.open(core::PaymentPage::checkout(Period::monthly));
        model.open(core::PaymentPage::checkout(Period::yearly));
        QVERIFY(model.opening() == core::PaymentPage::checkout(Period::monthly));
        session.release();
        QTEST(session.calls, "calls");
        QTEST(model.error(), "error");
        QVERIFY(!model.opening());
        QCOMPARE(opened.size(), failure ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(ProModelTest)
#include "tst_promodel.moc"
