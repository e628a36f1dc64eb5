// The command line: how the arguments parse, what the built program says
// without the services a command needs, and the relay commands on what a live
// session cannot easily show (a keychain that refuses or fails, a session the
// relay has ended, operands that stop a command before any relay call), with
// a keychain and a relay that are doubles.

#include "AccountJson.h"
#include "RecordingTransport.h"
#include "ToolRun.h"
#include "cli/CommandLineTool.h"
#include "cli/RelayCommands.h"
#include "core/fake/MemorySecretStore.h"
#include "core/keychain/KeychainItem.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace parlova;
using namespace Qt::StringLiterals;
using cli::CommandLineTool;
using cli::RelayCommands;
using core::KeychainItem;
using core::MemorySecretStore;
using core::PaymentPage;
using core::RelayFailure;
using core::SecretStore;
using test::RecordingTransport;
using test::ToolRun;
using Kind = CommandLineTool::Kind;
using Page = std::optional<PaymentPage>;

Q_DECLARE_METATYPE(Page)

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

QByteArray signInAnswer() {
    return QJsonDocument(QJsonObject{{"jeton", "t-1"}, {"compte", test::accountJson()}}).toJson();
}

} // namespace

class TestCommandLineTool : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    MemorySecretStore keychain;
    std::shared_ptr<RecordingTransport> transport;
    QString output;
    QByteArray input;
    QTextStream out{&output};
    std::unique_ptr<QTextStream> in;
    std::unique_ptr<RelayCommands> commands;

    QStringList lines() const { return output.split(u'\n', Qt::SkipEmptyParts); }

    void storeToken() { QCOMPARE(KeychainItem::session().store(keychain, u"t-0"_s), 0); }

private Q_SLOTS:
    void init() {
        keychain = MemorySecretStore();
        transport = RecordingTransport::make();
        output.clear();
        input.clear();
        in = std::make_unique<QTextStream>(&input);
        auto settings =
            std::make_shared<QSettings>(folder.filePath(u"parlova.conf"_s), QSettings::IniFormat);
        settings->setValue(u"relayURL"_s, u"https://relais.example"_s);
        commands = std::make_unique<RelayCommands>(RelayCommands::Environment{
            keychain, core::SettingsStore(settings), out, *in, transport, {}});
    }

    // Each command's own run is proven end to end (tst_cli_session and
    // commandsWithoutTheirService), with the operands it takes there (the
    // take's path, the monthly period); these rows are the parsing rules.
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind"); // -1: no command, the application starts
        QTest::addColumn<QStringList>("operands");
        QTest::addColumn<Page>("page");
        auto row = [](const char* name, const QStringList& arguments, int kind,
                      const QStringList& operands = {u"-"_s, u"-"_s, u"-"_s, u"-"_s},
                      Page page = {}) {
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
        row("paiement annuel", {"--paiement", "annuel", "x"}, payment, {"-", "-", "-", "-"},
            PaymentPage::checkout(PaymentPage::Period::yearly));
        row("paiement with another word", {"--paiement", "Mensuel"}, payment);
        row("portail", {"--portail", "annuel"}, int(Kind::portal), {"-", "-", "-", "-"},
            PaymentPage::portal());
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
        QTEST(tool->paymentPage(), "page");
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

    // The relay commands.
    void aTokenTheKeychainRefusesIsClosedAtTheRelay() {
        keychain.failOn(MemorySecretStore::Operation::add, SecretStore::collectionLocked);
        transport->queue(RecordingTransport::answer(200, signInAnswer()));
        transport->queue(RecordingTransport::answer(204));
        QCOMPARE(commands->signIn(u"lea@example.fr"_s, u"12-34-56"_s, std::nullopt), 1);
        QCOMPARE(lines(), QStringList{u"Le trousseau a refusé le jeton : -25308 (le trousseau "
                                      u"est verrouillé). La session est refermée au relais."_s});
        QCOMPARE(transport->requests.size(), 2);
        QCOMPARE(transport->requests.at(1).url.path(), u"/api/deconnexion"_s);
        QCOMPARE(transport->requests.at(1).header("Authorization"), QByteArray("Bearer t-1"));
    }

    void anEndedSessionIsDeletedFromTheKeychain() {
        storeToken();
        transport->queue(RecordingTransport::answer(401, "<html>"));
        QCOMPARE(commands->showAccount(), 1);
        QCOMPARE(lines(), (QStringList{u"Connectez-vous à Parlova. [signedOut]"_s,
                                       u"Session échue : jeton effacé du trousseau."_s}));
        QVERIFY(!keychain.contains(u"fr.orvane.parlova"_s, u"session"_s));
    }

    void keychainFailuresAreReportedWithTheirStatus() {
        keychain.failOn(MemorySecretStore::Operation::find, SecretStore::collectionLocked);
        QCOMPARE(commands->showPaymentPage(core::PaymentPage::portal()), 1);
        QCOMPARE(commands->signOut(), 1);
        QVERIFY(transport->requests.isEmpty());

        keychain = MemorySecretStore();
        storeToken();
        keychain.failOn(MemorySecretStore::Operation::remove, SecretStore::serviceFailure);
        transport->queue(RecordingTransport::answer(401));
        QCOMPARE(commands->signOut(), 1);
        QCOMPARE(lines(),
                 (QStringList{u"Trousseau illisible : -25308 (le trousseau est verrouillé)."_s,
                              u"Trousseau illisible : -25308 (le trousseau est verrouillé)."_s,
                              u"Le trousseau n'a pas effacé le jeton : -26276 (le service "
                              u"de trousseau a signalé une erreur)."_s}));
    }

    void signOutErasesTheTokenEvenWhenTheRelayIsUnreachable() {
        storeToken();
        transport->queue(RelayFailure::offline());
        QCOMPARE(commands->signOut(), 0);
        QCOMPARE(lines(), (QStringList{u"Le relais n'a pas fermé la session : Pas de connexion "
                                       u"Internet. [offline]. Le jeton s'efface quand même."_s,
                                       u"Session fermée, jeton effacé du trousseau."_s}));
        QVERIFY(!keychain.contains(u"fr.orvane.parlova"_s, u"session"_s));
    }

    // Only the demo key goes; a key already gone is no failure.
    void forgetLegacyKeyLeavesTheSessionAlone() {
        storeToken();
        QCOMPARE(KeychainItem::legacyRelayKey().store(keychain, u"clé"_s), SecretStore::success);
        QCOMPARE(commands->forgetLegacyKey(), 0);
        QCOMPARE(commands->forgetLegacyKey(), 0);
        QCOMPARE(keychain.count(), 1);
        keychain.failOn(MemorySecretStore::Operation::remove, SecretStore::collectionLocked);
        QCOMPARE(commands->forgetLegacyKey(), 1);
        const QString forgotten = u"Clé partagée de la démo retirée du trousseau."_s;
        QCOMPARE(lines(), (QStringList{forgotten, forgotten,
                                       u"Le trousseau n'a pas retiré la clé de la démo : -25308 "
                                       u"(le trousseau est verrouillé)."_s}));
    }

    void badOperandsStopBeforeTheRelay() {
        QCOMPARE(commands->showPaymentPage(std::nullopt), 1);
        QCOMPARE(keychain.calls(MemorySecretStore::Operation::find), 0);
        QCOMPARE(commands->requestCode(u"lea@example.fr"_s, u"K7M-2Q0"_s), 1);
        QCOMPARE(commands->signIn(u"lea@example.fr"_s, u"-"_s, std::nullopt), 1);
        QCOMPARE(commands->tryRelay(folder.path()), 1);
        QCOMPARE(lines(),
                 (QStringList{u"Usage : --paiement <mensuel|annuel>"_s,
                              u"Code de parrainage invalide : 6 caractères parmi "
                              u"23456789ABCDEFGHJKMNPQRSTUVWXYZ."_s,
                              u"Usage : --code <email> <code|-> [parrainage]"_s,
                              u"Fichier son illisible. Usage : --essai-relais <fichier.m4a>"_s}));
        QVERIFY(transport->requests.isEmpty());
    }

    void aReferralIsSentAndShownNormalized() {
        QCOMPARE(commands->requestCode(u"lea@example.fr"_s, u" k7m\u20132qx "_s), 0);
        QCOMPARE(transport->last().body,
                 QByteArray(R"({"email":"lea@example.fr","parrainage":"K7M2QX"})"));
        QCOMPARE(lines(), QStringList{u"Code envoyé à lea@example.fr. Ensuite : --code "
                                      u"lea@example.fr <code> K7M2QX"_s});
    }

    void aTakeWithoutWordsSaysSoWithTheElapsedTime() {
        storeToken();
        QFile take(folder.filePath(u"prise.m4a"_s));
        QVERIFY(take.open(QIODevice::WriteOnly));
        take.write("son");
        take.close();
        transport->queue(
            RecordingTransport::answer(200, "{\"texte\":\" \",\"mots\":0,\"semaine\":{\"mots\":0,"
                                            "\"reinitialisation\":\"2026-01-05T00:00:00Z\"}}"));
        QCOMPARE(commands->tryRelay(take.fileName()), 1);
        QCOMPARE(transport->last().body->count("son"), 1);
        QVERIFY2(QRegularExpression(uR"(^Aucune parole reconnue\. \[noSpeech\] \(0[.,]\d s\)$)"_s)
                     .match(output.trimmed())
                     .hasMatch(),
                 qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestCommandLineTool)
#include "tst_commandlinetool.moc"
