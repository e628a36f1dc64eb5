// The relay commands on what a live session cannot easily show: a keychain
// that refuses or fails, a session the relay has ended, and operands that
// stop a command before any relay call. Keychain and relay are doubles.

#include "AccountJson.h"
#include "RecordingTransport.h"
#include "cli/RelayCommands.h"
#include "core/fake/MemorySecretStore.h"
#include "core/keychain/KeychainItem.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace parlova;
using namespace Qt::StringLiterals;
using cli::RelayCommands;
using core::KeychainItem;
using core::MemorySecretStore;
using core::RelayFailure;
using core::SecretStore;
using test::RecordingTransport;

namespace {

QByteArray signInAnswer() {
    return QJsonDocument(QJsonObject{{"jeton", "t-1"}, {"compte", test::accountJson()}}).toJson();
}

} // namespace

class RelayCommandsTest : public QObject {
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

QTEST_GUILESS_MAIN(RelayCommandsTest)
#include "tst_relaycommands.moc"
