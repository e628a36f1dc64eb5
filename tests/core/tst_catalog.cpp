#include "core/Catalog.h"
#include "core/Texts.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

using namespace parlova::core;

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
    void everyKeyHasItsFrenchDefault();
    void typographyIsKept();
    void linuxTextsReplaceTheOtherPlatformsWords();
    void argumentsAreFilledInOrder();
    void unknownKeysNeverFail();
    void translationWinsAndFrenchIsTheFallback();
    void constantsKeepTheirFirstTextWhileFunctionsFollow();
    void installTranslationsNeedsAUsableFile();
};

void CatalogTest::everyKeyHasItsFrenchDefault() {
    const QStringList keys = Catalog::keys();
    QCOMPARE(keys.size(), 143);
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
    QCOMPARE(keys.first(), QStringLiteral("menu.ready"));
    QCOMPARE(keys.last(), QStringLiteral("language.automatic"));

    static const QRegularExpression dotted(QStringLiteral(
        "^(menu|legal|signIn|welcome|settings|pro|referral|account|common|pill|offer|failure|"
        "relay|delay|key|language)(\\.[A-Za-z]+)+$"));
    for (const QString& key : keys) {
        const QByteArray id = key.toLatin1();
        QVERIFY2(dotted.match(key).hasMatch(), qPrintable(key));
        const QString french = Catalog::frenchDefault(id.constData());
        QVERIFY2(!french.trimmed().isEmpty(), qPrintable(key));
        // With no translation installed, the catalog shows exactly the default.
        QCOMPARE(Catalog::text(id.constData()), french);
    }
}

void CatalogTest::typographyIsKept() {
    // The no-break space of "2 000" must survive: an ordinary space lets the
    // number break over two lines.
    const QString rule = Catalog::text("referral.rule");
    QVERIFY(rule.contains(QStringLiteral("2\u00A0000 mots")));
    QVERIFY(!rule.contains(QStringLiteral("2 000")));

    QCOMPARE(Catalog::text("signIn.changeEmail"), QStringLiteral("Changer d\u2019adresse"));
    QCOMPARE(Catalog::text("menu.upgrade"), QStringLiteral("Passer \u00E0 Pro\u2026"));
    QCOMPARE(Catalog::text("pill.listening"), QStringLiteral("\u00C9coute\u2026"));

    for (const QString& key : Catalog::keys()) {
        const QString french = Catalog::frenchDefault(key.toLatin1().constData());
        QVERIFY2(!french.contains(u'\''), qPrintable(key));
        QVERIFY2(!french.contains(QStringLiteral("...")), qPrintable(key));
        QVERIFY2(!french.contains(u'\uFFFD'), qPrintable(key));
    }
}

void CatalogTest::linuxTextsReplaceTheOtherPlatformsWords() {
    QCOMPARE(Catalog::text("key.fn"), QStringLiteral("Fn"));
    QCOMPARE(Catalog::text("key.rightOption"), QStringLiteral("Alt droite (AltGr)"));
    QCOMPARE(Catalog::text("key.rightControl"), QStringLiteral("Ctrl droite"));
    QCOMPARE(Catalog::text("key.rightCommand"), QStringLiteral("Super droite"));
    QCOMPARE(Catalog::text("failure.microphoneDenied"),
             QStringLiteral("Aucun micro disponible : v\u00E9rifiez les r\u00E9glages du son."));
    QCOMPARE(Catalog::text("welcome.openSettings"), QStringLiteral("Ouvrir l\u2019aide"));
    QVERIFY(Catalog::text("signIn.emailPlaceholder").contains(u'@'));

    for (const QString& key : Catalog::keys()) {
        const QString french = Catalog::frenchDefault(key.toLatin1().constData());
        for (const QString& foreign :
             {QStringLiteral("macOS"), QStringLiteral("Syst\u00E8me"), QStringLiteral("\u2318"),
              QStringLiteral("\u2325"), QStringLiteral("\u2303"), QStringLiteral("\U0001F310")})
            QVERIFY2(!french.contains(foreign), qPrintable(key));
    }
}

void CatalogTest::argumentsAreFilledInOrder() {
    QCOMPARE(Catalog::text("pro.price.yearly", {QStringLiteral("99 €"), QStringLiteral("8,25 €")}),
             QStringLiteral("99 € par an, soit 8,25 € par mois"));
    QCOMPARE(Catalog::text("delay.minutes", {QStringLiteral("5")}), QStringLiteral("5 minutes"));
    QCOMPARE(
        Texts::codeSubtitle(QStringLiteral("lea@exemple.fr")),
        QStringLiteral("Saisissez le code \u00E0 6 chiffres envoy\u00E9 \u00E0 lea@exemple.fr. "
                       "Il est valable 10 minutes."));

    // What the user typed is shown as typed, even when it looks like a placeholder.
    QCOMPARE(Catalog::text("pro.price.yearly", {QStringLiteral("%@"), QStringLiteral("8 €")}),
             QStringLiteral("%@ par an, soit 8 € par mois"));
    QCOMPARE(Texts::codeResent(QStringLiteral("a%@b@exemple.fr")),
             QStringLiteral("Code renvoy\u00E9 \u00E0 a%@b@exemple.fr."));

    QCOMPARE(Catalog::fill(QStringLiteral("%@ et %@"), {QStringLiteral("un")}),
             QStringLiteral("un et %@"));
    QCOMPARE(Catalog::fill(QStringLiteral("%@"), {QStringLiteral("un"), QStringLiteral("deux")}),
             QStringLiteral("un"));
}

void CatalogTest::unknownKeysNeverFail() {
    QVERIFY(Catalog::frenchDefault("menu.nothing").isNull());
    QVERIFY(Catalog::frenchDefault(nullptr).isNull());
    QCOMPARE(Catalog::text("menu.nothing"), QStringLiteral("menu.nothing"));
    QCOMPARE(Catalog::text(nullptr), QString());
}

void CatalogTest::translationWinsAndFrenchIsTheFallback() {
    TableTranslator english({{"menu.quit", QStringLiteral("Quit Parlova")},
                             {"pro.price.yearly", QStringLiteral("%@ a year, i.e. %@ a month")},
                             {"common.close", QString()}});
    QVERIFY(QCoreApplication::installTranslator(&english));

    QCOMPARE(Catalog::text("menu.quit"), QStringLiteral("Quit Parlova"));
    QCOMPARE(Catalog::text("pro.price.yearly", {QStringLiteral("$99"), QStringLiteral("$8.25")}),
             QStringLiteral("$99 a year, i.e. $8.25 a month"));
    // Untranslated and unfinished (empty) entries fall back to French.
    QCOMPARE(Catalog::text("common.cancel"), QStringLiteral("Annuler"));
    QCOMPARE(Catalog::text("common.close"), QStringLiteral("Fermer"));
    // The shipped text does not change with the translation.
    QCOMPARE(Catalog::frenchDefault("menu.quit"), QStringLiteral("Quitter Parlova"));

    QCoreApplication::removeTranslator(&english);
    QCOMPARE(Catalog::text("menu.quit"), QStringLiteral("Quitter Parlova"));
}

void CatalogTest::constantsKeepTheirFirstTextWhileFunctionsFollow() {
    const QString listening = Texts::listening();
    const QString warning = Texts::deleteAccountWarning();
    QCOMPARE(listening, QStringLiteral("\u00C9coute\u2026"));
    QCOMPARE(warning, Catalog::text("settings.deleteAccount.loss") + QStringLiteral("\n\n") +
                          Catalog::text("settings.deleteAccount.refund") + QStringLiteral("\n\n") +
                          Catalog::text("settings.deleteAccount.kept"));

    TableTranslator english({{"menu.listening", QStringLiteral("Listening…")},
                             {"menu.ready", QStringLiteral("Ready: hold %@ to dictate")},
                             {"settings.deleteAccount.kept", QStringLiteral("It is final.")}});
    QVERIFY(QCoreApplication::installTranslator(&english));

    QCOMPARE(Texts::listening(), listening);
    QCOMPARE(Texts::deleteAccountWarning(), warning);
    QCOMPARE(Catalog::text("menu.listening"), QStringLiteral("Listening…"));
    QCOMPARE(Texts::ready(QStringLiteral("Ctrl droite")),
             QStringLiteral("Ready: hold Ctrl droite to dictate"));

    QCoreApplication::removeTranslator(&english);
    QCOMPARE(Texts::ready(QStringLiteral("Fn")),
             QStringLiteral("Pr\u00EAt : maintenez Fn pour dicter"));
}

void CatalogTest::installTranslationsNeedsAUsableFile() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QVERIFY(!Catalog::installTranslations(english, {folder.path()}));

    QFile broken(folder.filePath(QStringLiteral("parlova_en.qm")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a translation file");
    broken.close();
    QVERIFY(!Catalog::installTranslations(english, {folder.path()}));
    QCOMPARE(Catalog::text("menu.quit"), QStringLiteral("Quitter Parlova"));
}

QTEST_GUILESS_MAIN(CatalogTest)
#include "tst_catalog.moc"
