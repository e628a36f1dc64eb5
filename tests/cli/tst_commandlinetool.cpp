#include "ToolRun.h"
#include "cli/CommandLineTool.h"

#include <QTemporaryDir>
#include <QTest>

using parlova::cli::CommandLineTool;
using parlova::core::PaymentPage;
using parlova::test::ToolRun;
using Kind = CommandLineTool::Kind;
using namespace Qt::StringLiterals;

namespace {

// The operands as the tables write them: email, code, referral and path,
// "-" for an absent one.
QStringList operands(const CommandLineTool& tool) {
    QStringList shown;
    for (const std::optional<QString>& operand :
         {tool.email(), tool.code(), tool.referral(), tool.path()})
        shown << operand.value_or(u"-"_s);
    return shown;
}

// -1 none, 0 monthly checkout, 1 yearly checkout, 2 portal.
int pageCode(const std::optional<PaymentPage>& page) {
    if (!page)
        return -1;
    if (page->kind() == PaymentPage::Kind::portal)
        return 2;
    return page->period() == PaymentPage::Period::monthly ? 0 : 1;
}

} // namespace

class TestCommandLineTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each command's own run is proven end to end (tst_cli_session and
    // commandsWithoutTheirService); these rows are the parsing rules.
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind"); // -1: no command, the application starts
        QTest::addColumn<QStringList>("operands");
        QTest::addColumn<int>("page");
        auto row = [](const char* name, const QStringList& arguments, int kind,
                      const QStringList& operands = {u"-"_s, u"-"_s, u"-"_s, u"-"_s},
                      int page = -1) {
            QTest::newRow(name) << arguments << kind << operands << page;
        };
        const int requestCode = int(Kind::requestCode);
        const int payment = int(Kind::payment);

        row("no arguments", {}, -1);
        row("letter case differs", {"--Compte"}, -1);
        row("prefix of an option", {"--comp"}, -1);
        row("snapshot option", {"--capturer", "/tmp/images"}, -1);
        row("option only in second place", {"x", "--compte"}, -1);
        row("connexion", {"--connexion", "a@b.fr", "abc 234"}, requestCode,
            {"a@b.fr", "-", "abc 234", "-"});
        row("connexion without operands", {"--connexion"}, requestCode);
        row("empty operand is present", {"--connexion", ""}, requestCode, {"", "-", "-", "-"});
        row("code", {"--code", "a@b.fr", "123 456", "REF234", "x"}, int(Kind::signIn),
            {"a@b.fr", "123 456", "REF234", "-"});
        row("later options are operands", {"--compte", "--oublier-cle"}, int(Kind::showAccount));
        row("essai-relais", {"--essai-relais", "/tmp/prise.m4a", "x"}, int(Kind::tryRelay),
            {"-", "-", "-", "/tmp/prise.m4a"});
        row("paiement mensuel", {"--paiement", "mensuel"}, payment, {"-", "-", "-", "-"}, 0);
        row("paiement annuel", {"--paiement", "annuel", "x"}, payment, {"-", "-", "-", "-"}, 1);
        row("paiement with another word", {"--paiement", "Mensuel"}, payment);
        row("portail", {"--portail", "annuel"}, int(Kind::portal), {"-", "-", "-", "-"}, 2);
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(int, kind);
        const std::optional<CommandLineTool> tool = CommandLineTool::parse(arguments);
        QCOMPARE(tool.has_value(), kind >= 0);
        if (!tool)
            return;
        QCOMPARE(int(tool->kind()), kind);
        QTEST(operands(*tool), "operands");
        QTEST(pageCode(tool->paymentPage()), "page");
    }

    // The built program, with no keychain service on the bus or no running
    // instance to hand over to.
    void commandsWithoutTheirService_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("printed");
        const QString noBus = u"DBUS_SESSION_BUS_ADDRESS"_s, noRuntime = u"XDG_RUNTIME_DIR"_s;
        const QString notRunning = u"Parlova ne tourne pas : lancez-le, puis recommencez.\n"_s;
        QTest::newRow("oublier-cle") << u"--oublier-cle"_s << noBus
                                     << u"Le trousseau n'a pas retiré la clé de la démo : -25291 "
                                        "(aucun service de trousseau ne répond sur le bus de "
                                        "la session).\n"_s;
        for (const char* option : {"--maintenir", "--relacher", "--coller-derniere"})
            QTest::newRow(option) << QString::fromLatin1(option) << noRuntime << notRunning;
    }
    void commandsWithoutTheirService() {
        if (qEnvironmentVariableIsEmpty("PARLOVA_EXE"))
            QSKIP("PARLOVA_EXE is not set");
        QFETCH(QString, option);
        QFETCH(QString, variable);
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(variable, variable == u"XDG_RUNTIME_DIR"
                                         ? runtime.path()
                                         : u"unix:path=/nonexistent/parlova/bus"_s);
        const ToolRun run = ToolRun::of(qEnvironmentVariable("PARLOVA_EXE"), {option}, environment);
        QCOMPARE(run.status, 1);
        QTEST(QString::fromUtf8(run.out), "printed");
        QCOMPARE(run.err, QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestCommandLineTool)
#include "tst_commandlinetool.moc"
