#include "core/texts/Catalog.h"
#include "core/texts/Texts.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

using namespace parlova::core;
using namespace Qt::StringLiterals;

namespace {

// A translation table built in memory, answering id-based lookups as a
// compiled .qm would.
class TableTranslator : public QTranslator {
public:
    explicit TableTranslator(QHash<QByteArray, QString> table)
        : m_table(std::move(table)) {}

    QString translate(const char*, const char* sourceText, const char*, int) const override {
        return m_table.value(QByteArray(sourceText));
    }
    bool isEmpty() const override { return false; }

private:
    QHash<QByteArray, QString> m_table;
};

} // namespace

class CatalogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every key is dotted, has a French default shown as is without a
    // translation, and keeps French typography and no other platform's words.
    void everyKeyHasItsFrenchDefault() {
        const QStringList keys = Catalog::keys();
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        static const QRegularExpression dotted(
            u"^(menu|legal|signIn|welcome|settings|pro|referral|account|common|pill|offer|failure|"
            "relay|delay|key|language)(\\.[A-Za-z]+)+$"_s);
        static const QRegularExpression forbidden(
            u"'|\\.\\.\\.|\uFFFD|macOS|Syst\u00E8me|\u2318|\u2325|\u2303|\U0001F310"_s);
        for (const QString& key : keys) {
            const QByteArray id = key.toLatin1();
            QVERIFY2(dotted.match(key).hasMatch(), qPrintable(key));
            const QString french = Catalog::frenchDefault(id.constData());
            QVERIFY2(!french.trimmed().isEmpty(), qPrintable(key));
            QVERIFY2(!forbidden.match(french).hasMatch(), qPrintable(key));
            QCOMPARE(Catalog::text(id.constData()), french);
        }
        // The no-break space of "2 000" must survive: an ordinary space lets the
        // number break over two lines.
        QVERIFY(Catalog::text("referral.rule").contains(u"2\u00A0000 mots"_s));
    }

    // Arguments fill the placeholders in order; what the user typed is shown
    // as typed, even when it looks like a placeholder.
    void argumentsAreFilledInOrder() {
        QCOMPARE(Catalog::text("pro.price.yearly", {u"%@"_s, u"8 €"_s}),
                 u"%@ par an, soit 8 € par mois"_s);

        QCOMPARE(Catalog::fill(u"%@ et %@"_s, {u"un"_s}), u"un et %@"_s);
        QCOMPARE(Catalog::fill(u"%@"_s, {u"un"_s, u"deux"_s}), u"un"_s);
    }

    void unknownKeysNeverFail() {
        QVERIFY(Catalog::frenchDefault("menu.nothing").isNull());
        QCOMPARE(Catalog::text("menu.nothing"), u"menu.nothing"_s);
        QCOMPARE(Catalog::text(nullptr), QString());
    }

    // A translation wins where it has a text; untranslated and unfinished
    // (empty) entries fall back to French. Constants keep the text of their
    // first use, while functions follow the translation.
    void translationWinsAndFrenchIsTheFallback() {
        const QString listening = Texts::listening();
        const QString warning = Texts::deleteAccountWarning();
        TableTranslator english({{"menu.quit", u"Quit Parlova"_s},
                                 {"pro.price.yearly", u"%@ a year, i.e. %@ a month"_s},
                                 {"common.close", QString()},
                                 {"menu.listening", u"Listening…"_s},
                                 {"menu.ready", u"Ready: hold %@ to dictate"_s},
                                 {"settings.deleteAccount.kept", u"It is final."_s}});
        QVERIFY(QCoreApplication::installTranslator(&english));

        QCOMPARE(Catalog::text("menu.quit"), u"Quit Parlova"_s);
        QCOMPARE(Catalog::text("pro.price.yearly", {u"$99"_s, u"$8.25"_s}),
                 u"$99 a year, i.e. $8.25 a month"_s);
        QCOMPARE(Catalog::text("common.cancel"), u"Annuler"_s);
        QCOMPARE(Catalog::text("common.close"), u"Fermer"_s);
        QCOMPARE(Catalog::frenchDefault("menu.quit"), u"Quitter Parlova"_s);
        QCOMPARE(Catalog::text("menu.listening"), u"Listening…"_s);
        QCOMPARE(Texts::listening(), listening);
        QCOMPARE(Texts::deleteAccountWarning(), warning);
        QCOMPARE(Texts::ready(u"Ctrl droite"_s), u"Ready: hold Ctrl droite to dictate"_s);

        QCoreApplication::removeTranslator(&english);
        QCOMPARE(Catalog::text("menu.quit"), u"Quitter Parlova"_s);
    }

    void installTranslationsNeedsAUsableFile() {
        QTemporaryDir folder;
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QVERIFY(!Catalog::installTranslations(english, {folder.path()}).ok());

        QFile broken(folder.filePath(u"parlova_en.qm"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a translation file");
        broken.close();
        QVERIFY(!Catalog::installTranslations(english, {folder.path()}).ok());
        QCOMPARE(Catalog::text("menu.quit"), u"Quitter Parlova"_s);
    }
};

QTEST_GUILESS_MAIN(CatalogTest)
#include "tst_catalog.moc"
