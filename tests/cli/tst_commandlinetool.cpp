#include "ToolRun.h"
#include "cli/CommandLineTool.h"
#include "core/KeychainItem.h"
#include "core/fake/MemorySecretStore.h"

#include <QProcess>
#include <QTest>

using parlova::cli::CommandLineTool;
using parlova::core::KeychainItem;
using parlova::core::MemorySecretStore;
using parlova::core::PaymentPage;
using parlova::core::SecretStore;
using parlova::test::ToolRun;
using Kind = CommandLineTool::Kind;
using namespace Qt::StringLiterals;

namespace {

// A null string stands for an absent operand in the test tables.
std::optional<QString> operand(const QString& text) {
    if (text.isNull())
        return std::nullopt;
    return text;
}

// -1 none, 0 monthly checkout, 1 yearly checkout, 2 portal.
int pageCode(const std::optional<PaymentPage>& page) {
    if (!page)
        return -1;
    if (page->kind() == PaymentPage::Kind::portal)
        return 2;
    return page->period() == PaymentPage::Period::monthly ? 0 : 1;
}

const QString forgottenLine = u"Clé partagée de la démo retirée du trousseau.\n"_s;

} // namespace

class TestCommandLineTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind"); // -1: no command, the application starts
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("referral");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("page");
        const QString none;
        auto row = [&](const char* name, const QStringList& arguments, int kind,
                       const QString& email = {}, const QString& code = {},
                       const QString& referral = {}, const QString& path = {}, int page = -1) {
            QTest::newRow(name) << arguments << kind << email << code << referral << path << page;
        };
        const int requestCode = int(Kind::requestCode);

        row("no arguments", {}, -1);
        row("letter case differs", {"--Compte"}, -1);
        row("prefix of an option", {"--comp"}, -1);
        row("snapshot option", {"--capturer", "/tmp/images"}, -1);
        row("option only in second place", {"x", "--compte"}, -1);

        row("connexion", {"--connexion", "a@b.fr", "abc 234"}, requestCode, "a@b.fr", none,
            "abc 234");
        row("connexion without operands", {"--connexion"}, requestCode);
        row("empty operand is present", {"--connexion", ""}, requestCode, u""_s);
        row("code", {"--code", "a@b.fr", "123 456", "REF234", "x"}, int(Kind::signIn), "a@b.fr",
            "123 456", "REF234");
        row("later options are operands", {"--compte", "--oublier-cle"}, int(Kind::showAccount));
        row("deconnexion", {"--deconnexion"}, int(Kind::signOut));
        row("essai-relais", {"--essai-relais", "/tmp/prise.m4a", "x"}, int(Kind::tryRelay), none,
            none, none, "/tmp/prise.m4a");
        row("oublier-cle", {"--oublier-cle", "x"}, int(Kind::forgetLegacyKey));

        const int payment = int(Kind::payment);
        row("paiement mensuel", {"--paiement", "mensuel"}, payment, none, none, none, none, 0);
        row("paiement annuel", {"--paiement", "annuel", "x"}, payment, none, none, none, none, 1);
        row("paiement with another word", {"--paiement", "Mensuel"}, payment);
        row("portail", {"--portail", "annuel"}, int(Kind::portal), none, none, none, none, 2);
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(int, kind);
        const std::optional<CommandLineTool> tool = CommandLineTool::parse(arguments);
        if (kind < 0) {
            QVERIFY(!tool);
            return;
        }
        QVERIFY(tool);
        QCOMPARE(int(tool->kind()), kind);
        QFETCH(QString, email);
        QFETCH(QString, code);
        QFETCH(QString, referral);
        QFETCH(QString, path);
        QCOMPARE(tool->email(), operand(email));
        QCOMPARE(tool->code(), operand(code));
        QCOMPARE(tool->referral(), operand(referral));
        QCOMPARE(tool->path(), operand(path));
        QTEST(pageCode(tool->paymentPage()), "page");
    }

    // Only the demo key goes; a key already gone is no failure; a keychain
    // failure is told with its status.
    void forgetLegacyKeyLeavesTheSessionAlone() {
        MemorySecretStore keychain;
        QString printed;
        QTextStream out(&printed);
        QCOMPARE(KeychainItem::session().store(keychain, "jeton"), SecretStore::success);
        QCOMPARE(KeychainItem::legacyRelayKey().store(keychain, "clé"), SecretStore::success);
        for (int run = 0; run < 2; ++run) {
            printed.clear();
            QCOMPARE(CommandLineTool::forgetLegacyKey(keychain, out), 0);
            QCOMPARE(printed, forgottenLine);
            QCOMPARE(keychain.count(), 1);
            QVERIFY(KeychainItem::session().read(keychain).ok());
        }

        keychain.failOn(MemorySecretStore::Operation::remove, SecretStore::collectionLocked);
        printed.clear();
        QCOMPARE(CommandLineTool::forgetLegacyKey(keychain, out), 1);
        QCOMPARE(printed, u"Le trousseau n'a pas retiré la clé de la démo : -25308 "
                          "(le trousseau est verrouillé).\n"_s);
        QCOMPARE(CommandLineTool::describe(25300), u"25300 (?)"_s);
    }

    // The built program, end to end.

    void forgetLegacyKeyWithoutKeychainService() {
        if (qEnvironmentVariableIsEmpty("PARLOVA_EXE"))
            QSKIP("PARLOVA_EXE is not set");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/parlova/bus");
        const ToolRun run =
            ToolRun::of(qEnvironmentVariable("PARLOVA_EXE"), {"--oublier-cle"}, environment);
        QCOMPARE(run.status, 1);
        QCOMPARE(QString::fromUtf8(run.out),
                 u"Le trousseau n'a pas retiré la clé de la démo : -25291 "
                 "(aucun service de trousseau ne répond sur le bus de "
                 "la session).\n"_s);
        QCOMPARE(run.err, QByteArray());
    }

    // What parse() refuses (see its table) is the application's to take.
    void noCommandStartsTheApplication() {
        if (qEnvironmentVariableIsEmpty("PARLOVA_EXE"))
            QSKIP("PARLOVA_EXE is not set");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("PARLOVA_EXE"), QStringList());
        QVERIFY(process.waitForStarted());
        // A command would have printed and ended by now; the application waits.
        QVERIFY(!process.waitForFinished(1000));
        process.kill();
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestCommandLineTool)
#include "tst_commandlinetool.moc"
