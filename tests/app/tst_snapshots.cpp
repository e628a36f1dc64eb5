#include "core/Texts.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using parlova::core::Texts;

// The snapshot mode of the real program, as CI runs it.
class SnapshotsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesTheSixteenFilesAndQuits() {
        QTemporaryDir work;
        const QString folder = work.filePath(QStringLiteral("sortie/images"));
        QProcess parlova;
        parlova.start(qEnvironmentVariable("PARLOVA_EXE"), {QStringLiteral("--capturer"), folder});
        QVERIFY(parlova.waitForFinished(90000));
        QCOMPARE(parlova.exitCode(), 0);

        const QStringList pictures{"autorisations",
                                   "connexion-adresse",
                                   "connexion-code",
                                   "parrainage",
                                   "parrainage-deja-connecte",
                                   "pastille-ecoute",
                                   "pastille-message",
                                   "pastille-message-long",
                                   "pastille-plafond",
                                   "pastille-transcription",
                                   "pro-abonne",
                                   "pro-essai",
                                   "pro-gratuit",
                                   "reglages"};
        QStringList expected{QStringLiteral("menu-gratuit.txt"), QStringLiteral("menu-pro.txt")};
        for (const QString& name : pictures)
            expected.append(name + QStringLiteral(".png"));
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);

        for (const QString& name : pictures) {
            const QImage image(QDir(folder).filePath(name + QStringLiteral(".png")));
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3) {
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            }
            QVERIFY2(colours.size() > 20, qPrintable(name));
        }

        const QString ready = Texts::ready(QStringLiteral("Fn"));
        const auto lines = [&](const QString& name) {
            QFile file(QDir(folder).filePath(name));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n')
                                                  : QStringList();
        };
        const QStringList tail{QStringLiteral("—"), Texts::settingsItem(), Texts::permissionsItem(),
                               QStringLiteral("—"), Texts::terms(),        Texts::privacy(),
                               QStringLiteral("—"), Texts::quitItem()};
        QCOMPARE(lines(QStringLiteral("menu-gratuit.txt")),
                 QStringList({ready, QStringLiteral("1\u00A0240 mots restants cette semaine"),
                              QStringLiteral("—"), Texts::upgradeItem(), Texts::referralItem()}) +
                     tail);
        QCOMPARE(lines(QStringLiteral("menu-pro.txt")),
                 QStringList({ready, QStringLiteral("Pro"), QStringLiteral("—"),
                              Texts::subscriptionItem(), Texts::referralItem()}) +
                     tail);
    }
};

QTEST_MAIN(SnapshotsTest)
#include "tst_snapshots.moc"
