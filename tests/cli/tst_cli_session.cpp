// A whole command-line session against a local relay, through the built
// program: request a code, sign in with it (the token lands in the desktop
// keychain), read the account, send a take, open a checkout and, once
// subscribed, the portal, then sign out. Each line is checked as printed.
// Last, the set-up scripts' trust of a relay, through the settings only.

#include "RelayProcess.h"
#include "Rig.h"
#include "ToolRun.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using parlova::test::RelayProcess;
using parlova::test::ToolRun;
using namespace Qt::StringLiterals;

namespace {

const QString email = u"lea@example.fr"_s;
const QString spoken = u"Bonjour depuis le terminal"_s;

const QStringList sessionItem{u"service"_s, u"fr.orvane.parlova"_s, u"account"_s, u"session"_s};

} // namespace

class CliSessionTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RelayProcess> relay;
    QTemporaryDir home;
    QString take;

    ToolRun parlova(const QStringList& arguments, const QByteArray& input = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        environment.insert(u"LC_ALL"_s, u"fr_FR.UTF-8"_s);
        environment.insert(u"LANG"_s, u"fr_FR.UTF-8"_s);
        // Every library asked to talk: the command line still prints only its own lines.
        environment.insert(u"QT_LOGGING_RULES"_s, u"*.debug=true"_s);
        environment.insert(u"G_MESSAGES_DEBUG"_s, u"all"_s);
        return ToolRun::of(qEnvironmentVariable("PARLOVA_EXE"), arguments, environment, input);
    }

    // The session token as the desktop keychain holds it; empty when none.
    static QString storedToken() {
        return QString::fromUtf8(
                   ToolRun::of(u"secret-tool"_s, QStringList{u"lookup"_s} + sessionItem).out)
            .trimmed();
    }

    QString page(const QString& line) const {
        const QString prefix = u"À ouvrir dans un navigateur : "_s;
        return line.startsWith(prefix) ? line.mid(prefix.size()) : QString();
    }

private Q_SLOTS:
    void initTestCase() {
        PARLOVA_REQUIRE_RIG();
        relay = std::make_unique<RelayProcess>();
        QVERIFY2(relay->start(), qPrintable(relay->errorString()));
        QVERIFY(QDir(home.path()).mkpath(u"config/parlova"_s));
        QFile settings(home.filePath(u"config/parlova/parlova.conf"_s));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(
            "[General]\nrelayURL=" + relay->origin().toEncoded() +
            "\nrelayCertificate=" + QFile::encodeName(relay->authorityCertificatePath()) + "\n");
        settings.close();

        // The relay's test engine answers the transcript it is given, whatever it hears.
        take = home.filePath(u"prise.m4a"_s);
        QVERIFY(ToolRun::of(u"ffmpeg"_s, {"-loglevel", "error", "-f", "lavfi", "-i",
                                          "sine=duration=1", "-ar", "16000", "-ac", "1", take})
                    .ok());
        // Nothing of an earlier run may stand in for this session's token.
        ToolRun::of(u"secret-tool"_s, QStringList{u"clear"_s} + sessionItem);
    }

    void signsInWithAMailedCode() {
        const ToolRun asked = parlova({u"--connexion"_s, email});
        QCOMPARE(asked.lines(), QStringList{u"Code envoyé à lea@example.fr. Ensuite : --code "
                                            u"lea@example.fr <code>"_s});
        QCOMPARE(asked.status, 0);

        // The code as a user would paste it, spaces and all, on standard input.
        const QString code = relay->lastCode(email);
        const ToolRun signedIn =
            parlova({u"--code"_s, email}, (code.left(3) + u' ' + code.mid(3) + u'\n').toUtf8());
        QCOMPARE(signedIn.lines(),
                 QStringList{u"Connecté : lea@example.fr (2\u00A0000 mots restants cette semaine). "
                             u"Jeton rangé dans le trousseau."_s});
        QCOMPARE(signedIn.status, 0);
        QCOMPARE(signedIn.err, QByteArray());
        QVERIFY(!storedToken().isEmpty());
        QVERIFY(!signedIn.lines().join(u'\n').contains(storedToken()));
    }

    // The week resets on Monday 00:00 in Paris: printed in Paris time, the
    // date reads as such whatever zone the relay wrote it in.
    void showsTheAccount() {
        const QJsonObject account = relay->call("GET", u"api/compte"_s, storedToken()).json;
        const QJsonObject referral = account.value(u"parrainage").toObject();
        const QJsonObject links = account.value(u"liens").toObject();
        const ToolRun shown = parlova({u"--compte"_s});
        QVERIFY2(QRegularExpression(u"^Semaine : 0 mots, plafond 2\u00A0000, reste 2\u00A0000, "
                                    u"réinitialisation lundi \\d+ \\S+ \\d{4} 00:00$"_s)
                     .match(shown.lines().value(2))
                     .hasMatch(),
                 qPrintable(shown.lines().value(2)));
        QCOMPARE(shown.lines().mid(0, 2),
                 (QStringList{email, u"Offre : 2\u00A0000 mots restants cette semaine"_s}));
        QCOMPARE(shown.lines().mid(3),
                 (QStringList{u"Parrainage : "_s + referral.value(u"code").toString() + u", "_s +
                                  referral.value(u"lien").toString() +
                                  u" ; 0 inscrits, 0 validés, 0 mois gagnés"_s,
                              u"Liens : conditions "_s + links.value(u"conditions").toString() +
                                  u", confidentialité "_s +
                                  links.value(u"confidentialite").toString()}));
        QCOMPARE(shown.status, 0);
    }

    void sendsATake() {
        QVERIFY(relay->setNextTranscript(spoken));
        const ToolRun tried = parlova({u"--essai-relais"_s, take});
        QCOMPARE(tried.lines().size(), 2);
        QCOMPARE(tried.lines().at(0), spoken);
        QVERIFY2(
            QRegularExpression(u"^\\(\\d+,\\d s, 4 mots, reste 1\u00A0996, 127\\.0\\.0\\.1\\)$"_s)
                .match(tried.lines().at(1))
                .hasMatch(),
            qPrintable(tried.lines().at(1)));
        QCOMPARE(tried.status, 0);
    }

    void subscribesThroughTheCheckoutThenOpensThePortal() {
        const QString origin = QString::fromUtf8(relay->origin().toEncoded());
        const ToolRun checkout = parlova({u"--paiement"_s, u"mensuel"_s});
        QCOMPARE(checkout.status, 0);
        QCOMPARE(checkout.lines().size(), 1);
        const QUrl checkoutPage(page(checkout.lines().at(0)));
        QVERIFY2(checkoutPage.toString().startsWith(origin + u"/paiement/"_s),
                 qPrintable(checkout.lines().at(0)));

        // Pay the way a browser would: post the page's form.
        const RelayProcess::Answer html = relay->send("GET", checkoutPage.path().mid(1));
        const auto action = QRegularExpression(u"<form method=\"post\" action=\"([^\"]+)\""_s)
                                .match(QString::fromUtf8(html.body));
        QVERIFY2(action.hasMatch(), html.body.constData());
        QCOMPARE(relay->send("POST", action.captured(1).mid(1)).status, 200);

        const ToolRun shown = parlova({u"--compte"_s});
        QCOMPARE(shown.lines().value(1), u"Offre : Pro"_s);
        QVERIFY2(shown.lines().value(2).startsWith(
                     u"Abonnement : mensuel, statut Stripe active ; Renouvellement le "_s),
                 qPrintable(shown.lines().value(2)));
        QVERIFY2(shown.lines().value(3).startsWith(u"Semaine : 4 mots, sans plafond, "_s),
                 qPrintable(shown.lines().value(3)));

        const ToolRun portal = parlova({u"--portail"_s});
        QCOMPARE(portal.status, 0);
        QVERIFY2(page(portal.lines().value(0)).startsWith(origin + u"/portail/"_s),
                 qPrintable(portal.lines().value(0)));
    }

    void signsOutAndForgetsTheToken() {
        const QString token = storedToken();
        const ToolRun closed = parlova({u"--deconnexion"_s});
        QCOMPARE(closed.lines(), QStringList{u"Session fermée, jeton effacé du trousseau."_s});
        QCOMPARE(closed.status, 0);
        QCOMPARE(storedToken(), QString());
        QCOMPARE(relay->call("GET", u"api/compte"_s, token).status, 401);

        const ToolRun after = parlova({u"--compte"_s});
        QCOMPARE(after.lines(), QStringList{u"Connectez-vous à Parlova. Aucune session dans le "
                                            u"trousseau : --connexion, puis --code."_s});
        QCOMPARE(after.status, 1);
        QCOMPARE(after.err, QByteArray());
    }

    // The set-up scripts' own steps, with a relay authority made on the spot
    // (so that no store can know it): the program trusts the relay through
    // its settings alone, and the system's store stays as it was.
    void setUpTrustsTheRelayWithoutTouchingTheSystemStore() {
        const auto store = [] {
            return ToolRun::of(u"sh"_s, {u"-c"_s, u"ls -lL --full-time /etc/ssl/certs "
                                                  u"/usr/local/share/ca-certificates; "
                                                  u"md5sum /etc/ssl/certs/ca-certificates.crt"_s})
                .out;
        };
        const QByteArray before = store();
        QTemporaryDir folder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, folder.filePath(u"config"_s));
        environment.insert(u"DATA"_s, folder.filePath(u"relais"_s));
        const ToolRun setUp = ToolRun::of(
            u"bash"_s,
            {u"-c"_s, u"set -e; source \"$PARLOVA_SOURCE_DIR/scripts/common.sh\"; "
                      u"start_relay \"$PARLOVA_RELAIS\" \"$DATA.log\" --port 0 --donnees \"$DATA\" "
                      u"--moteur test; trap 'kill $relay_pid' EXIT; "
                      u"set_parlova_setting relayURL https://127.0.0.1:$relay_port; "
                      u"set_parlova_setting relayCertificate \"$DATA/autorite/ca.crt\"; "
                      u"\"$PARLOVA_EXE\" --connexion lea@example.fr"_s},
            environment);
        QCOMPARE(setUp.lines(), QStringList{u"Code envoyé à lea@example.fr. Ensuite : --code "
                                            u"lea@example.fr <code>"_s});
        QCOMPARE(store(), before);
    }
};

QTEST_GUILESS_MAIN(CliSessionTest)
#include "tst_cli_session.moc"
