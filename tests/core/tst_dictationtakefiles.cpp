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
using namespace Qt::StringLiterals;

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
        const QRegularExpression name(
            u"^parlova-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.m4a$"_s);
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
        const QString target = dir.filePath(u"target"_s);
        const QString planted = DictationTakeFiles::newTake(dir.path());
        QVERIFY(QFile::link(target, planted));
        QCOMPARE(DictationTakeFiles::createExclusive(planted), -1);
        QVERIFY(!QFile::exists(target));
    }

    void removeLeftoversDeletesOnlyOurRegularTakeFiles() {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        writeFile(folder.filePath(u"parlova-1.m4a"_s));
        writeFile(DictationTakeFiles::newTake(dir.path()));
        writeFile(folder.filePath(u"parlova-.m4a"_s));
        QStringList kept = {"parlova-x.M4A", "parlova-x.m4a.part", "autre-parlova-x.m4a",
                            "notes.txt"};
        for (const QString& name : kept)
            writeFile(folder.filePath(name));
        QVERIFY(folder.mkdir(u"parlova-dossier.m4a"_s));
        const QString outside = folder.filePath(u"voix.wav"_s);
        writeFile(outside);
        QVERIFY(QFile::link(outside, folder.filePath(u"parlova-lien.m4a"_s)));
        // Another user's take in a shared folder is not ours to delete.
        const QString foreign = folder.filePath(u"parlova-autre.m4a"_s);
        writeFile(foreign);
        const bool foreignMade = ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0;
        if (foreignMade)
            kept << u"parlova-autre.m4a"_s;
        else
            QFile::remove(foreign);

        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.path()), 3);

        QStringList expected = kept;
        expected << u"parlova-dossier.m4a"_s << u"voix.wav"_s << u"parlova-lien.m4a"_s;
        expected.sort();
        QCOMPARE(
            folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
            expected);
        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.path()), 0);
        QCOMPARE(DictationTakeFiles::removeLeftovers(dir.filePath(u"absent"_s)), 0);
        if (!foreignMade)
            QSKIP("giving a file to another user needs root: that case was not checked");
    }
};

QTEST_GUILESS_MAIN(TestDictationTakeFiles)
#include "tst_dictationtakefiles.moc"
