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
        row("maintenir", {"--maintenir"}, int(Kind::holdPress));
        row("relacher", {"--relacher", "x"}, int(Kind::holdRelease));
        row("coller-derniere", {"--coller-derniere"}, int(Kind::pasteLast));

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

    void handOversWithNoInstance() {
        if (qEnvironmentVariableIsEmpty("PARLOVA_EXE"))
            QSKIP("PARLOVA_EXE is not set");
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        for (const char* option : {"--maintenir", "--relacher", "--coller-derniere"}) {
            const ToolRun run =
                ToolRun::of(qEnvironmentVariable("PARLOVA_EXE"), {option}, environment);
            QCOMPARE(run.status, 1);
            QCOMPARE(QString::fromUtf8(run.out),
                     u"Parlova ne tourne pas : lancez-le, puis recommencez.\n"_s);
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLineTool)
#include "tst_commandlinetool.moc"
