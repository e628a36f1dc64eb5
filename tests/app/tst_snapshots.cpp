#include "core/texts/Texts.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using parlova::core::Texts;

// The snapshot mode of the real program, as CI runs it.
class SnapshotsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesTheSixteenFilesAndQuits() {
        QTemporaryDir work;
        const QString folder = work.filePath(u"sortie/images"_s);
        QProcess parlova;
        parlova.start(qEnvironmentVariable("PARLOVA_EXE"), {u"--capturer"_s, folder});
        QVERIFY(parlova.waitForFinished(90000));
        QCOMPARE(parlova.exitCode(), 0);

        const QStringList pictures =
            QStringLiteral("autorisations connexion-adresse connexion-code parrainage "
                           "parrainage-deja-connecte pastille-ecoute pastille-message "
                           "pastille-message-long pastille-plafond pastille-transcription "
                           "pro-abonne pro-essai pro-gratuit reglages")
                .split(u' ');
        QStringList expected{u"menu-gratuit.txt"_s, u"menu-pro.txt"_s};
        for (const QString& name : pictures)
            expected.append(name + u".png"_s);
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);

        for (const QString& name : pictures) {
            const QImage image(QDir(folder).filePath(name + u".png"_s));
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3) {
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            }
            QVERIFY2(colours.size() > 20, qPrintable(name));
        }

        const QString ready = Texts::ready(u"Fn"_s);
        const auto lines = [&](const QString& name) {
            QFile file(QDir(folder).filePath(name));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n')
                                                  : QStringList();
        };
        const QStringList tail{u"—"_s, Texts::settingsItem(), Texts::permissionsItem(),
                               u"—"_s, Texts::terms(),        Texts::privacy(),
                               u"—"_s, Texts::quitItem()};
        QCOMPARE(lines(u"menu-gratuit.txt"_s),
                 QStringList({ready, u"1\u00A0240 mots restants cette semaine"_s, u"—"_s,
                              Texts::upgradeItem(), Texts::referralItem()}) +
                     tail);
        QCOMPARE(lines(u"menu-pro.txt"_s),
                 QStringList(
                     {ready, u"Pro"_s, u"—"_s, Texts::subscriptionItem(), Texts::referralItem()}) +
                     tail);
    }
};

QTEST_MAIN(SnapshotsTest)
#include "tst_snapshots.moc"
