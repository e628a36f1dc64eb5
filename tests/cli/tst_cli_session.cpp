// A whole command-line session against a local relay, through the built
// program: request a code, sign in with it (the token lands in the desktop
// keychain), read the account, send a spoken take, open a checkout and, once
// subscribed, the portal, then sign out. Each line is checked as printed.

#include "RelayProcess.h"
#include "Rig.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using parlova::test::RelayProcess;
using namespace Qt::StringLiterals;

namespace {

const QString email = QStringLiteral("lea@example.fr");
const QString spoken = QStringLiteral("Bonjour depuis le terminal");

struct Run {
    int status = -1;
    QStringList lines;
    QByteArray errors;
};

bool runTool(const QString& program, const QStringList& arguments, QByteArray* out = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

// "lundi 5 janvier 2026 01:00": the French long date and short time, in Paris.
QString parisDateTime(const QString& iso) {
    const QDateTime date = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return QLocale(QLocale::French, QLocale::France)
        .toString(date.toTimeZone(QTimeZone("Europe/Paris")), u"dddd d MMMM yyyy HH:mm");
}

} // namespace

class CliSessionTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RelayProcess> relay;
    QTemporaryDir home;
    QString take;

    Run parlova(const QStringList& arguments, const QByteArray& input = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(u"config"_s));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("fr_FR.UTF-8"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("fr_FR.UTF-8"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("PARLOVA_EXE"), arguments);
        process.write(input);
        process.closeWriteChannel();
        Run run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
        if (run.lines.constLast().isEmpty())
            run.lines.removeLast();
        run.errors = process.readAllStandardError();
        return run;
    }

    // The session token as the desktop keychain holds it; empty when none.
    static QString storedToken() {
        QByteArray token;
        runTool(QStringLiteral("secret-tool"),
                {QStringLiteral("lookup"), QStringLiteral("service"),
                 QStringLiteral("fr.orvane.parlova"), QStringLiteral("account"),
                 QStringLiteral("session")},
                &token);
        return QString::fromUtf8(token).trimmed();
    }

    QJsonObject accountJson() {
        return relay->call("GET", QStringLiteral("api/compte"), storedToken()).json;
    }

    QString page(const QString& line) const {
        const QString prefix = QStringLiteral("À ouvrir dans un navigateur : ");
        return line.startsWith(prefix) ? line.mid(prefix.size()) : QString();
    }

private Q_SLOTS:
    void initTestCase() {
        PARLOVA_REQUIRE_RIG();
        relay = std::make_unique<RelayProcess>();
        QVERIFY2(relay->start(), qPrintable(relay->errorString()));
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config/parlova")));
        QFile settings(home.filePath(QStringLiteral("config/parlova/parlova.conf")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nrelayURL=" + relay->origin().toEncoded() + "\n");
        settings.close();

        const QString wave = home.filePath(QStringLiteral("phrase.wav"));
        take = home.filePath(QStringLiteral("phrase.m4a"));
        QVERIFY(runTool(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), wave, spoken}));
        QVERIFY(runTool(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                         QStringLiteral("-i"), wave, QStringLiteral("-ar"), QStringLiteral("16000"),
                         QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-c:a"),
                         QStringLiteral("aac"), take}));
        // Nothing of an earlier run may stand in for this session's token.
        runTool(QStringLiteral("secret-tool"),
                {QStringLiteral("clear"), QStringLiteral("service"),
                 QStringLiteral("fr.orvane.parlova"), QStringLiteral("account"),
                 QStringLiteral("session")});
    }

    void signsInWithAMailedCode() {
        const Run asked = parlova({QStringLiteral("--connexion"), email});
        QCOMPARE(asked.lines, QStringList{u"Code envoyé à lea@example.fr. Ensuite : --code "
                                          u"lea@example.fr <code>"_s});
        QCOMPARE(asked.status, 0);

        // The code as a user would paste it, spaces and all, on standard input.
        const QString code = relay->lastCode(email);
        QCOMPARE(code.size(), 6);
        const Run signedIn = parlova({QStringLiteral("--code"), email},
                                     (code.left(3) + u' ' + code.mid(3) + u'\n').toUtf8());
        QCOMPARE(signedIn.lines,
                 QStringList{u"Connecté : lea@example.fr (2\u00A0000 mots restants cette semaine). "
                             u"Jeton rangé dans le trousseau."_s});
        QCOMPARE(signedIn.status, 0);
        QCOMPARE(signedIn.errors, QByteArray());
        QVERIFY(!storedToken().isEmpty());
        QVERIFY(!signedIn.lines.join(u'\n').contains(storedToken()));
    }

    void showsTheAccount() {
        const QJsonObject account = accountJson();
        const QJsonObject referral = account.value(u"parrainage").toObject();
        const QJsonObject links = account.value(u"liens").toObject();
        const Run shown = parlova({QStringLiteral("--compte")});
        QCOMPARE(
            shown.lines,
            (QStringList{
                email, u"Offre : 2\u00A0000 mots restants cette semaine"_s,
                u"Semaine : 0 mots, plafond 2\u00A0000, reste 2\u00A0000, réinitialisation "_s +
                    parisDateTime(
                        account.value(u"semaine").toObject().value(u"reinitialisation").toString()),
                u"Parrainage : "_s + referral.value(u"code").toString() + u", "_s +
                    referral.value(u"lien").toString() +
                    u" ; 0 inscrits, 0 validés, 0 mois gagnés"_s,
                u"Liens : conditions "_s + links.value(u"conditions").toString() +
                    u", confidentialité "_s + links.value(u"confidentialite").toString()}));
        QCOMPARE(shown.status, 0);
    }

    void sendsASpokenTake() {
        QVERIFY(relay->setNextTranscript(spoken));
        const Run tried = parlova({QStringLiteral("--essai-relais"), take});
        QCOMPARE(tried.lines.size(), 2);
        QCOMPARE(tried.lines.at(0), spoken);
        QVERIFY2(
            QRegularExpression(u"^\\(\\d+,\\d s, 4 mots, reste 1\u00A0996, 127\\.0\\.0\\.1\\)$"_s)
                .match(tried.lines.at(1))
                .hasMatch(),
            qPrintable(tried.lines.at(1)));
        QCOMPARE(tried.status, 0);
    }

    void subscribesThroughTheCheckoutThenOpensThePortal() {
        const QString origin = QString::fromUtf8(relay->origin().toEncoded());
        const Run checkout = parlova({QStringLiteral("--paiement"), QStringLiteral("mensuel")});
        QCOMPARE(checkout.status, 0);
        QCOMPARE(checkout.lines.size(), 1);
        const QUrl checkoutPage(page(checkout.lines.at(0)));
        QVERIFY2(checkoutPage.toString().startsWith(origin + u"/paiement/"_s),
                 qPrintable(checkout.lines.at(0)));

        // Pay the way a browser would: post the page's form.
        const RelayProcess::Answer html = relay->send("GET", checkoutPage.path().mid(1));
        const auto action = QRegularExpression(u"<form method=\"post\" action=\"([^\"]+)\""_s)
                                .match(QString::fromUtf8(html.body));
        QVERIFY2(action.hasMatch(), html.body.constData());
        QCOMPARE(relay->send("POST", action.captured(1).mid(1)).status, 200);

        const Run shown = parlova({QStringLiteral("--compte")});
        QCOMPARE(shown.lines.value(1), u"Offre : Pro"_s);
        QVERIFY2(shown.lines.value(2).startsWith(
                     u"Abonnement : mensuel, statut Stripe active ; Renouvellement le "_s),
                 qPrintable(shown.lines.value(2)));
        QVERIFY2(shown.lines.value(3).startsWith(u"Semaine : 4 mots, sans plafond, "_s),
                 qPrintable(shown.lines.value(3)));

        const Run portal = parlova({QStringLiteral("--portail")});
        QCOMPARE(portal.status, 0);
        QVERIFY2(page(portal.lines.value(0)).startsWith(origin + u"/portail/"_s),
                 qPrintable(portal.lines.value(0)));
    }

    void signsOutAndForgetsTheToken() {
        const QString token = storedToken();
        const Run closed = parlova({QStringLiteral("--deconnexion")});
        QCOMPARE(closed.lines, QStringList{u"Session fermée, jeton effacé du trousseau."_s});
        QCOMPARE(closed.status, 0);
        QCOMPARE(storedToken(), QString());
        QCOMPARE(relay->call("GET", QStringLiteral("api/compte"), token).status, 401);

        const Run after = parlova({QStringLiteral("--compte")});
        QCOMPARE(after.lines, QStringList{u"Connectez-vous à Parlova. Aucune session dans le "
                                          u"trousseau : --connexion, puis --code."_s});
        QCOMPARE(after.status, 1);
        QCOMPARE(after.errors, QByteArray());
    }
};

QTEST_GUILESS_MAIN(CliSessionTest)
#include "tst_cli_session.moc"
