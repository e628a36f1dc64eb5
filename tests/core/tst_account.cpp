#include "core/Account.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

using namespace parlova::core;
using namespace Qt::StringLiterals;

namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

// A free account as the relay sends it.
QJsonObject freeAccount() {
    return QJsonObject{
        {"email", "lea@exemple.fr"},
        {"offre", "gratuit"},
        {"proJusquAu", QJsonValue::Null},
        {"abonnement", QJsonValue::Null},
        {"semaine", QJsonObject{{"mots", 150},
                                {"plafond", 2000},
                                {"reste", 1850},
                                {"reinitialisation", "2026-03-02T00:00:00Z"}}},
        {"parrainage", QJsonObject{{"code", "K7M2QX"},
                                   {"lien", "https://parlova.fr/p/K7M2QX"},
                                   {"amis", 3},
                                   {"amisValides", 1},
                                   {"moisGagnes", 1}}},
        {"tarifs",
         QJsonObject{{"devise", "eur"},
                     {"mensuel", QJsonObject{{"centimes", 1200}}},
                     {"annuel", QJsonObject{{"centimes", 12000}, {"centimesParMois", 1000}}}}},
        {"liens", QJsonObject{{"conditions", "https://parlova.fr/conditions"},
                              {"confidentialite", "https://parlova.fr/confidentialite"}}},
    };
}

QByteArray bytes(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Sets a member at a dotted path, creating nothing: the path must exist up to its parent.
QJsonObject with(QJsonObject object, const QString& path, const QJsonValue& value) {
    const qsizetype dot = path.indexOf(u'.');
    if (dot < 0) {
        if (value.isUndefined())
            object.remove(path);
        else
            object.insert(path, value);
        return object;
    }
    const QString head = path.left(dot);
    object.insert(head, with(object.value(head).toObject(), path.mid(dot + 1), value));
    return object;
}

Decoded<Account> decode(const QJsonObject& object) {
    return Account::fromJson(bytes(object));
}

Account decoded(const QJsonObject& object) {
    const Decoded<Account> result = decode(object);
    if (!result)
        qFatal("sample account does not decode: %s", qPrintable(result.error().text()));
    return *result;
}

QJsonObject proAccount() {
    QJsonObject account = with(freeAccount(), "offre", "pro");
    account = with(account, "semaine.plafond", QJsonValue::Null);
    return with(account, "semaine.reste", QJsonValue::Null);
}

} // namespace

class TestAccount : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sampleDecodesCompletely() {
        const Account account = decoded(freeAccount());
        QCOMPARE(account.email, u"lea@exemple.fr"_s);
        QCOMPARE(account.offer, Account::Offer::free());
        QCOMPARE(account.subscription, std::nullopt);
        QCOMPARE(account.week.words, 150);
        QCOMPARE(account.week.limit, 2000);
        QCOMPARE(account.week.remaining, 1850);
        QCOMPARE(account.week.resetsAt, utc("2026-03-02T00:00:00Z"));
        QCOMPARE(account.referral.link, QUrl(u"https://parlova.fr/p/K7M2QX"_s));
        QCOMPARE(account.referral.validatedFriends, 1);
        QCOMPARE(account.prices.yearlyCentsPerMonth, 1000);
        QCOMPARE(account.links.terms, QUrl(u"https://parlova.fr/conditions"_s));
    }

    void offerIsFoldedFromPlanDateAndCap_data() {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<int>("kind"); // -1: the decoding fails
        QTest::addColumn<QDateTime>("until");
        QTest::addColumn<QString>("errorPath");
        QTest::addColumn<QString>("errorDescription");

        const QJsonObject free = freeAccount();
        const QString date = u"2026-04-01T10:00:00Z"_s;
        const QString noCap = u"Offre gratuite sans plafond."_s;
        const QString noEnd = u"Pro sans date de fin."_s;
        QTest::newRow("free with a date keeps free")
            << with(free, "proJusquAu", date) << int(Account::Offer::Kind::free) << QDateTime()
            << QString() << QString();
        QTest::newRow("free, cap null") << with(free, "semaine.plafond", QJsonValue::Null) << -1
                                        << QDateTime() << u"semaine"_s << noCap;
        QTest::newRow("free, count absent") << with(free, "semaine.reste", QJsonValue::Undefined)
                                            << -1 << QDateTime() << u"semaine"_s << noCap;
        QTest::newRow("trial") << with(with(free, "offre", "essai"), "proJusquAu", date)
                               << int(Account::Offer::Kind::trial) << utc("2026-04-01T10:00:00Z")
                               << QString() << QString();
        QTest::newRow("trial, no date")
            << with(free, "offre", "essai") << -1 << QDateTime() << u"proJusquAu"_s << noEnd;
        QTest::newRow("gifted, date absent")
            << with(with(free, "offre", "offert"), "proJusquAu", QJsonValue::Undefined) << -1
            << QDateTime() << u"proJusquAu"_s << noEnd;
        QTest::newRow("gifted") << with(with(free, "offre", "offert"), "proJusquAu", date)
                                << int(Account::Offer::Kind::gifted) << utc("2026-04-01T10:00:00Z")
                                << QString() << QString();
        QTest::newRow("pro without end") << proAccount() << int(Account::Offer::Kind::pro)
                                         << QDateTime() << QString() << QString();
        QTest::newRow("pro with end")
            << with(proAccount(), "proJusquAu", date) << int(Account::Offer::Kind::pro)
            << utc("2026-04-01T10:00:00Z") << QString() << QString();
        QTest::newRow("pro, unreadable end")
            << with(proAccount(), "proJusquAu", "demain") << -1 << QDateTime() << u"proJusquAu"_s
            << u"Date ISO 8601 attendue."_s;
        for (const char* plan : {"GRATUIT", "Pro", "premium", ""})
            QTest::addRow("plan '%s'", plan) << with(free, "offre", QString::fromUtf8(plan)) << -1
                                             << QDateTime() << u"offre"_s << QString();
        QTest::newRow("plan a number")
            << with(free, "offre", 1) << -1 << QDateTime() << u"offre"_s << QString();
    }

    void offerIsFoldedFromPlanDateAndCap() {
        QFETCH(QJsonObject, json);
        QFETCH(int, kind);
        QFETCH(QDateTime, until);
        QFETCH(QString, errorPath);
        QFETCH(QString, errorDescription);

        const Decoded<Account> result = decode(json);
        if (kind < 0) {
            QVERIFY(!result);
            QCOMPARE(result.error().path, errorPath);
            if (!errorDescription.isEmpty())
                QCOMPARE(result.error().description, errorDescription);
            return;
        }
        QVERIFY2(result, qPrintable(result ? QString() : result.error().text()));
        QCOMPARE(int(result->offer.kind()), kind);
        QCOMPARE(result->offer.until(),
                 until.isValid() ? std::optional<QDateTime>(until) : std::nullopt);
    }

    void datesInBothFormsAndOnlyThose_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: must fail

        QTest::newRow("whole seconds") << u"2026-03-02T09:30:00Z"_s << utc("2026-03-02T09:30:00Z");
        QTest::newRow("milliseconds")
            << u"2026-03-02T09:30:00.250Z"_s << utc("2026-03-02T09:30:00.250Z");
        QTest::newRow("one fraction digit")
            << u"2026-03-02T09:30:00.5Z"_s << utc("2026-03-02T09:30:00.500Z");
        QTest::newRow("microseconds")
            << u"2026-03-02T09:30:00.123456Z"_s << utc("2026-03-02T09:30:00.123Z");
        QTest::newRow("offset without colon")
            << u"2026-03-02T10:30:00+0100"_s << utc("2026-03-02T09:30:00Z");
        QTest::newRow("negative offset with colon")
            << u"2026-03-02T04:30:00-05:00"_s << utc("2026-03-02T09:30:00Z");
        QTest::newRow("offset crossing the year")
            << u"2026-01-01T00:30:00+0100"_s << utc("2025-12-31T23:30:00Z");
        QTest::newRow("leap day") << u"2028-02-29T12:00:00Z"_s << utc("2028-02-29T12:00:00Z");
        for (const char* bad :
             {"2026-03-02", "2026-03-02T09:30:00", "2026-03-02T09:30Z", "2026-03-02 09:30:00Z",
              "2026-03-02t09:30:00z", "2026-03-02T09:30:00.Z", "2026-03-02T09:30:00,250Z",
              "2026-02-29T09:30:00Z", "2026-13-02T09:30:00Z", "2026-03-02T24:00:00Z",
              "2026-03-02T09:60:00Z", "2026-03-02T09:30:60Z", "2026-03-02T09:30:00Zjunk",
              "2026-03-02T09:30:00+01", "+2026-03-02T09:30:00Z", "2026-3-2T9:30:00Z", "",
              "2026-03-02T09:30:00.250+01:0"})
            QTest::addRow("'%s'", bad) << QString::fromLatin1(bad) << QDateTime();
    }

    void datesInBothFormsAndOnlyThose() {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);

        const Decoded<Account> result =
            decode(with(freeAccount(), "semaine.reinitialisation", text));
        if (!expected.isValid()) {
            QVERIFY(!result);
            QCOMPARE(result.error(),
                     (DecodingError{u"semaine.reinitialisation"_s, u"Date ISO 8601 attendue."_s}));
            return;
        }
        QVERIFY(result);
        QCOMPARE(result->week.resetsAt, expected);
        QCOMPARE(result->week.resetsAt.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
    }

    // Counts and prices must be JSON numbers holding integers; nothing is coerced.
    void countsMustBeJsonIntegers_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("accepted");

        const QList<QString> paths{u"semaine.mots"_s, u"semaine.reste"_s, u"parrainage.amis"_s,
                                   u"tarifs.annuel.centimesParMois"_s};
        for (const QString& path : paths) {
            const QByteArray name = path.toUtf8();
            QTest::addRow("%s string", name.data()) << path << QByteArray("\"12\"") << false;
            QTest::addRow("%s boolean", name.data()) << path << QByteArray("true") << false;
            QTest::addRow("%s object", name.data()) << path << QByteArray("{}") << false;
            QTest::addRow("%s array", name.data()) << path << QByteArray("[12]") << false;
            QTest::addRow("%s fraction", name.data()) << path << QByteArray("12.5") << false;
            QTest::addRow("%s beyond 64 bits", name.data()) << path << QByteArray("1e30") << false;
            QTest::addRow("%s negative", name.data()) << path << QByteArray("-12") << true;
            QTest::addRow("%s integral exponent", name.data())
                << path << QByteArray("1.2e1") << true;
        }
    }

    void countsMustBeJsonIntegers() {
        QFETCH(QString, path);
        QFETCH(QByteArray, raw);
        QFETCH(bool, accepted);

        // Put a marker in place of the value, then splice the raw JSON text in.
        QByteArray json = bytes(with(freeAccount(), path, u"@MARK@"_s));
        json.replace("\"@MARK@\"", raw);
        const Decoded<Account> result = Account::fromJson(json);
        QCOMPARE(result.hasValue(), accepted);
        if (!accepted)
            QCOMPARE(result.error().path, path);
    }

    void missingOrMistypedRequiredValuesFail_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("value");

        for (const char* path :
             {"email", "semaine", "semaine.mots", "semaine.reinitialisation", "parrainage",
              "parrainage.code", "parrainage.moisGagnes", "tarifs", "tarifs.devise",
              "tarifs.mensuel", "tarifs.mensuel.centimes", "tarifs.annuel.centimesParMois"}) {
            QTest::addRow("%s absent", path) << QString::fromLatin1(path) << QJsonValue();
            QTest::addRow("%s null", path)
                << QString::fromLatin1(path) << QJsonValue(QJsonValue::Null);
        }
        QTest::newRow("email a number") << u"email"_s << QJsonValue(5);
        QTest::newRow("week an array") << u"semaine"_s << QJsonValue(QJsonArray{1, 2});
        QTest::newRow("link not a URL") << u"parrainage.lien"_s << QJsonValue(u"a b c"_s);
        QTest::newRow("link empty") << u"parrainage.lien"_s << QJsonValue(u""_s);
        QTest::newRow("subscription a string") << u"abonnement"_s << QJsonValue(u"active"_s);
    }

    void missingOrMistypedRequiredValuesFail() {
        QFETCH(QString, path);
        QFETCH(QJsonValue, value);
        const Decoded<Account> result = decode(with(freeAccount(), path, value));
        QVERIFY(!result);
        QCOMPARE(result.error().path, path);
        QVERIFY(!result.error().description.isEmpty());
    }

    void firstFailureInReadingOrderIsReported() {
        QJsonObject json = with(freeAccount(), "email", 3);
        json = with(json, "tarifs.devise", 3);
        QCOMPARE(decode(json).error().path, u"email"_s);
        // The week is read before the offer, so a broken week wins over an unknown plan.
        json = with(with(freeAccount(), "offre", "illimite"), "semaine.mots", "beaucoup");
        QCOMPARE(decode(json).error().path, u"semaine.mots"_s);
        // Monthly and yearly objects are checked before the currency.
        json = with(with(freeAccount(), "tarifs.devise", 3), "tarifs.annuel", QJsonValue::Null);
        QCOMPARE(decode(json).error().path, u"tarifs.annuel"_s);
    }

    void subscription() {
        const QJsonObject subscribed = with(proAccount(), "abonnement",
                                            QJsonObject{{"periode", "annuel"},
                                                        {"statut", "past_due"},
                                                        {"finPeriode", "2026-05-01T00:00:00.000Z"},
                                                        {"resilie", true},
                                                        {"autre", 1}});
        const Account account = decoded(subscribed);
        QVERIFY(account.subscription);
        QCOMPARE(account.subscription->period, Account::Subscription::Period::yearly);
        QCOMPARE(account.subscription->periodEnd, utc("2026-05-01T00:00:00Z"));
        QVERIFY(account.subscription->cancelsAtPeriodEnd);
        QVERIFY(account.subscription->paymentFailed());
        QVERIFY(!account.subscription->isTrialing());
        QVERIFY(account.isSubscriber());

        QVERIFY(!decoded(with(subscribed, "abonnement.statut", "PAST_DUE"))
                     .subscription->paymentFailed());
        QVERIFY(
            decoded(with(subscribed, "abonnement.statut", "trialing")).subscription->isTrialing());

        for (const char* period : {"hebdomadaire", "Mensuel", "monthly"}) {
            const Decoded<Account> result = decode(with(subscribed, "abonnement.periode", period));
            QVERIFY(!result);
            QCOMPARE(result.error().path, u"abonnement.periode"_s);
        }
        QCOMPARE(decode(with(subscribed, "abonnement.resilie", "non")).error().path,
                 u"abonnement.resilie"_s);
        QCOMPARE(
            decode(with(subscribed, "abonnement.finPeriode", QJsonValue::Undefined)).error().path,
            u"abonnement.finPeriode"_s);
        QCOMPARE(decoded(with(subscribed, "abonnement", QJsonValue::Undefined)).subscription,
                 std::nullopt);
    }

    void periodRawValuesAreExact() {
        using Period = Account::Subscription::Period;
        QCOMPARE(Account::Subscription::rawValue(Period::monthly), u"mensuel"_s);
        QCOMPARE(Account::Subscription::rawValue(Period::yearly), u"annuel"_s);
        QCOMPARE(Account::Subscription::periodFromRawValue(u"annuel"), Period::yearly);
        QCOMPARE(Account::Subscription::periodFromRawValue(u"Annuel"), std::nullopt);
    }

    void linksAreReadTolerantly_data() {
        QTest::addColumn<QJsonValue>("links");
        QTest::addColumn<QString>("terms"); // empty: none
        QTest::addColumn<QString>("privacy");

        const QString privacy = u"https://parlova.fr/confidentialite"_s;
        const auto only = [&](const QJsonValue& terms) {
            return QJsonValue(QJsonObject{{"conditions", terms}, {"confidentialite", privacy}});
        };
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << QString() << QString();
        QTest::newRow("null") << QJsonValue(QJsonValue::Null) << QString() << QString();
        QTest::newRow("a string") << QJsonValue(u"https://parlova.fr"_s) << QString() << QString();
        QTest::newRow("an array") << QJsonValue(QJsonArray{privacy}) << QString() << QString();
        QTest::newRow("http") << only(u"http://parlova.fr/conditions"_s) << QString() << privacy;
        QTest::newRow("no URL") << only(u"pas une adresse"_s) << QString() << privacy;
        QTest::newRow("a number") << only(42) << QString() << privacy;
        QTest::newRow("https without host")
            << only(u"https:///conditions"_s) << QString() << privacy;
        QTest::newRow("mailto") << only(u"mailto:contact@parlova.fr"_s) << QString() << privacy;
        QTest::newRow("capital scheme") << only(u"HTTPS://parlova.fr/conditions"_s)
                                        << u"https://parlova.fr/conditions"_s << privacy;
        QTest::newRow("one key missing")
            << QJsonValue(QJsonObject{{"conditions", privacy}}) << privacy << QString();
    }

    void linksAreReadTolerantly() {
        QFETCH(QJsonValue, links);
        QFETCH(QString, terms);
        QFETCH(QString, privacy);

        const Account account = decoded(with(freeAccount(), "liens", links));
        const auto expected = [](const QString& url) {
            return url.isEmpty() ? std::nullopt : std::optional<QUrl>(QUrl(url));
        };
        QCOMPARE(account.links.terms, expected(terms));
        QCOMPARE(account.links.privacy, expected(privacy));
    }

    void secureWebPage() {
        QVERIFY(isSecureWebPage(QUrl(u"https://checkout.stripe.com/c/pay"_s)));
        QVERIFY(isSecureWebPage(QUrl(u"hTTpS://127.0.0.1:8443/paiement"_s)));
        QVERIFY(!isSecureWebPage(QUrl(u"http://checkout.stripe.com"_s)));
        QVERIFY(!isSecureWebPage(QUrl(u"https:/chemin"_s)));
        QVERIFY(!isSecureWebPage(QUrl(u"javascript:alert(1)"_s)));
        QVERIFY(!isSecureWebPage(QUrl()));
    }

    void weekAloneDecodes() {
        const QJsonObject uncapped{{"mots", 40}, {"reinitialisation", "2026-03-02T00:00:00Z"}};
        const Decoded<Account::Week> week = Account::Week::fromJsonValue(uncapped);
        QVERIFY(week);
        QCOMPARE(week->remaining, std::nullopt);
        QCOMPARE(Account::Week::fromJsonValue(QJsonValue(3)).error().description,
                 u"Objet JSON attendu."_s);
    }

    void notAnAccountFailsCleanly_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("html") << QByteArray("<html><body>502 Bad Gateway</body></html>");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("string") << QByteArray("\"compte\"");
        QTest::newRow("null") << QByteArray("null");
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("invalid UTF-8") << QByteArray("{\"email\":\"\xff\xfe\"}");
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
    }

    void notAnAccountFailsCleanly() {
        QFETCH(QByteArray, json);
        const Decoded<Account> result = Account::fromJson(json);
        QVERIFY(!result);
        QVERIFY(!result.error().text().isEmpty());
    }

    void everyTruncationFails() {
        const QByteArray json = bytes(freeAccount());
        for (qsizetype length = 0; length < json.size(); ++length)
            QVERIFY2(!Account::fromJson(json.left(length)), qPrintable(QString::number(length)));
        QVERIFY(Account::fromJson(json));
    }

    // Random and mutated bodies must come back as a value or a failure, never
    // a crash or a hang. The seed is fixed so that a failure can be replayed.
    void survivesMutatedBodies() {
        QRandomGenerator random(20260302);
        const QByteArray valid = bytes(with(proAccount(), "abonnement",
                                            QJsonObject{{"periode", "mensuel"},
                                                        {"statut", "active"},
                                                        {"finPeriode", "2026-05-01T00:00:00Z"},
                                                        {"resilie", false}}));
        const QByteArray alphabet("{}[]\":,.-+eE0123456789 tfnulraZT\\\xc3\xa9\x00\xff", 44);
        int decodedCount = 0;
        for (int round = 0; round < 4000; ++round) {
            QByteArray body = valid;
            const int edits = 1 + random.bounded(8);
            for (int e = 0; e < edits; ++e) {
                const int at = random.bounded(int(body.size()) + 1);
                const char byte = alphabet[random.bounded(int(alphabet.size()))];
                switch (random.bounded(5)) {
                case 0:
                    if (at < body.size())
                        body[at] = byte;
                    break;
                case 1:
                    body.insert(at, byte);
                    break;
                case 2:
                    body.remove(at, 1 + random.bounded(6));
                    break;
                case 3:
                    body.truncate(at);
                    break;
                default:
                    body.insert(at, body.mid(random.bounded(int(body.size()) + 1), 12));
                    break;
                }
            }
            if (round % 10 == 0) {
                body.resize(random.bounded(200));
                for (char& c : body)
                    c = char(random.bounded(256));
            }
            if (Account::fromJson(body))
                ++decodedCount;
        }
        // Some mutations only touch ignored or free-form text and still decode.
        QVERIFY(decodedCount > 0);
    }

    void derivedRulesFollowTheClock() {
        Account account = decoded(with(freeAccount(), "semaine.reste", 0));
        const QDateTime reset = account.week.resetsAt;
        QVERIFY(account.isAtLimit(reset.addMSecs(-1)));
        QVERIFY(!account.isAtLimit(reset));
        QVERIFY(!account.weekHasEnded(reset.addMSecs(-1)));
        QVERIFY(account.weekHasEnded(reset));
        QCOMPARE(account.offerLine(), u"Limite de la semaine atteinte"_s);

        account = decoded(with(freeAccount(), "semaine.reste", -40));
        QVERIFY(account.isAtLimit(reset.addDays(-1)));
        account = decoded(with(freeAccount(), "semaine.reste", 1));
        QVERIFY(!account.isAtLimit(reset.addDays(-1)));

        // Unlimited offers are never at the limit, whatever their week says.
        account = decoded(
            with(with(freeAccount(), "offre", "essai"), "proJusquAu", "2026-03-20T00:00:00Z"));
        account.week.remaining = 0;
        QVERIFY(!account.isAtLimit(reset.addDays(-1)));
        QVERIFY(!decoded(proAccount()).isAtLimit(reset.addDays(-1)));
    }

    void offeredProIsKeptBeyondFortyEightHours() {
        const QDateTime end = utc("2026-03-20T12:00:00Z");
        for (const char* plan : {"essai", "offert"}) {
            const Account account = decoded(
                with(with(freeAccount(), "offre", plan), "proJusquAu", "2026-03-20T12:00:00Z"));
            QCOMPARE(account.offeredProKept(end.addSecs(-172800)), std::nullopt);
            QCOMPARE(account.offeredProKept(end.addSecs(-172801)), end);
            QCOMPARE(account.offeredProKept(end.addSecs(-172800).addMSecs(-1)), end);
            QCOMPARE(account.offeredProKept(end.addDays(1)), std::nullopt);
        }
        const Account paid = decoded(with(proAccount(), "proJusquAu", "2026-03-20T12:00:00Z"));
        QCOMPARE(paid.offeredProKept(end.addDays(-30)), std::nullopt);
    }

    void weekUpdateMustFitTheOffer() {
        Account free = decoded(freeAccount());
        const Account::Week before = free.week;
        Account::Week capOnly{300, 2000, std::nullopt, before.resetsAt};
        QVERIFY(!free.update(capOnly));
        QCOMPARE(free.week, before);
        Account::Week capped{300, 2000, 1700, before.resetsAt.addDays(7)};
        QVERIFY(free.update(capped));
        QCOMPARE(free.week, capped);

        Account pro = decoded(proAccount());
        QVERIFY(!pro.update(capped));
        Account::Week uncapped{900, std::nullopt, std::nullopt, before.resetsAt};
        QVERIFY(pro.update(uncapped));
        QCOMPARE(pro.week, uncapped);
    }
};

QTEST_GUILESS_MAIN(TestAccount)
#include "tst_account.moc"
