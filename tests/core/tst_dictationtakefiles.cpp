#include "core/DictationTakeFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using parlova::core::DictationTakeFiles;

namespace {

void writeFile(const QString& path, const QByteArray& content = "x") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestDictationTakeFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newTakeNamesAFreshFileInTheDirectory() {
        QTemporaryDir dir;
        const QRegularExpression name(QStringLiteral(
            "^parlova-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.m4a$"));
        QSet<QString> seen;
        for (int i = 0; i < 20; ++i) {
            const QString path = DictationTakeFiles::newTake(dir.path());
            const QFileInfo info(path);
            QCOMPARE(info.absolutePath(), QDir(dir.path()).absolutePath());
            QVERIFY2(name.match(info.fileName()).hasMatch(), qPrintable(info.fileName()));
            seen.insert(path);
        }
        QCOMPARE(seen.size(), 20);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void createExclusiveIsOwnerOnlyAndNeverReusesAPath() {
        QTemporaryDir dir;
        const QString path = DictationTakeFiles::newTake(dir.path());
        const mode_t previous = ::umask(0);
        const int descriptor = DictationTakeFiles::createExclusive(path);
        ::umask(previous);
        QVERIFY(descriptor >= 0);
        ::close(descriptor);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0600));

        QCOMPARE(DictationTakeFiles::createExclusive(path), -1);

        // A link planted under the name must not lead the take elsewhere.
        const QString target = dir.filePath(QStringLiteral("target"));
        const QString planted = DictationTakeFiles::newTake(dir.path());
        QVERIFY(QFile::link(target, planted));
        QCOMPARE(DictationTakeFiles::createExclusive(planted), -1);
        QVERIFY(!QFile::exists(target));
    }

    void removeLeftoversDeletesOnlyOurRegularTakeFiles() {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        writeFile(folder.filePath(QStringLiteral("parlova-1.m4a")));
        writeFile(DictationTakeFiles::newTake(dir.path()));
        writeFile(folder.filePath(QStringLiteral("parlova-.m4a")));
        QStringList kept = {
            QStringLiteral("parlova-x.M4A"),       QStringLiteral("parlova-x.m4a.part"),
            QStringLiteral("parlova-x.m4"),        QStringLiteral("Parlova-x.m4a"),
            QStringLiteral("autre-parlova-x.m4a"), QStringLiteral("notes.txt"),
        };
        for (const QString& name : kept)
            writeFile(folder.filePath(name));
        QVERIFY(folder.mkdir(QStringLiteral("parlova-dossier.m4a")));
        const QString outside = folder.filePath(QStringLiteral("voix.wav"));
        writeFile(outside);
        QVERIFY(QFile::link(outside, folder.filePath(QStringLiteral("parlova-lien.m4a"))));
        // Another user's take in a shared folder is not ours to delete.
        const QString foreign = folder.filePath(QStringLiteral("parlova-autre.m4a"));
        writeFile(foreign);
        if (::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0)
            kept << QStringLiteral("parlova-autre.m4a");
        else
            QFile::remove(foreign);

        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.path()), 3);

        QStringList expected = kept;
        expected << QStringLiteral("parlova-dossier.m4a") << QStringLiteral("voix.wav")
                 << QStringLiteral("parlova-lien.m4a");
        expected.sort();
        QCOMPARE(
            folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
            expected);
        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.path()), 0);
        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.filePath(QStringLiteral("absent"))), 0);
    }
};

QTEST_GUILESS_MAIN(TestDictationTakeFiles)
#include "tst_dictationtakefiles.moc"
