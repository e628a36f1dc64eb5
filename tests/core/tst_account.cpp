#include "core/Account.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

using namespace parlova::core;
using namespace Qt::StringLiterals;
using Kind = Account::Offer::Kind;

namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

// A free account as the relay sends it (single quotes stand for double quotes).
QJsonObject freeAccount() {
    QByteArray json = "{'email':'lea@exemple.fr','offre':'gratuit','proJusquAu':null,"
                      "'abonnement':null,'semaine':{'mots':150,'plafond':2000,'reste':1850,"
                      "'reinitialisation':'2026-03-02T00:00:00Z'},"
                      "'parrainage':{'code':'K7M2QX','lien':'https://parlova.fr/p/K7M2QX',"
                      "'amis':3,'amisValides':1,'moisGagnes':1},"
                      "'tarifs':{'devise':'eur','mensuel':{'centimes':1200},"
                      "'annuel':{'centimes':12000,'centimesParMois':1000}},"
                      "'liens':{'conditions':'https://parlova.fr/conditions',"
                      "'confidentialite':'https://parlova.fr/confidentialite'}}";
    return QJsonDocument::fromJson(json.replace('\'', '"')).object();
}

// Sets (or, with an undefined value, removes) the member at a dotted path.
QJsonObject with(QJsonObject object, const QString& path, const QJsonValue& value) {
    const qsizetype dot = path.indexOf(u'.');
    if (dot >= 0) {
        const QString head = path.left(dot);
        object.insert(head, with(object.value(head).toObject(), path.mid(dot + 1), value));
    } else if (value.isUndefined()) {
        object.remove(path);
    } else {
        object.insert(path, value);
    }
    return object;
}

QJsonObject proAccount() {
    return with(with(with(freeAccount(), "offre", "pro"), "semaine.plafond", QJsonValue::Null),
                "semaine.reste", QJsonValue::Null);
}

QJsonObject subscribedAccount() {
    return with(proAccount(), "abonnement",
                QJsonObject{{"periode", "annuel"},
                            {"statut", "past_due"},
                            {"finPeriode", "2026-05-01T00:00:00.000Z"},
                            {"resilie", true}});
}

Decoded<Account> decode(const QJsonObject& object) {
    return Account::fromJson(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Account decoded(const QJsonObject& object) {
    const Decoded<Account> result = decode(object);
    if (!result)
        qFatal("sample account does not decode: %s", qPrintable(result.error().text()));
    return *result;
}

} // namespace

class TestAccount : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void offerIsFoldedFromPlanDateAndCap_data() {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<int>("kind"); // -1: the decoding fails at errorPath
        QTest::addColumn<QString>("errorPath");
        QTest::addColumn<QString>("errorDescription");

        const QJsonObject free = freeAccount();
        const QString date = u"2026-04-01T10:00:00Z"_s;
        const QString noCap = u"Offre gratuite sans plafond."_s;
        const QString noEnd = u"Pro sans date de fin."_s;
        const auto row = [](const char* name, const QJsonObject& json, int kind,
                            const QString& path = {}, const QString& description = {}) {
            QTest::newRow(name) << json << kind << path << description;
        };
        row("free ignores a date", with(free, "proJusquAu", date), int(Kind::free));
        row("free, cap null", with(free, "semaine.plafond", QJsonValue::Null), -1, u"semaine"_s,
            noCap);
        row("trial", with(with(free, "offre", "essai"), "proJusquAu", date), int(Kind::trial));
        row("trial, date null", with(free, "offre", "essai"), -1, u"proJusquAu"_s, noEnd);
        row("gifted", with(with(free, "offre", "offert"), "proJusquAu", date), int(Kind::gifted));
        row("pro with end", with(proAccount(), "proJusquAu", date), int(Kind::pro));
        row("pro, unreadable end", with(proAccount(), "proJusquAu", "demain"), -1, u"proJusquAu"_s,
            u"Date ISO 8601 attendue."_s);
        row("plan in capitals", with(free, "offre", "GRATUIT"), -1, u"offre"_s);
        row("plan a number", with(free, "offre", 1), -1, u"offre"_s);
    }

    void offerIsFoldedFromPlanDateAndCap() {
        QFETCH(QJsonObject, json);
        QFETCH(int, kind);
        QFETCH(QString, errorPath);
        QFETCH(QString, errorDescription);

        const Decoded<Account> result = decode(json);
        QCOMPARE(result.ok(), kind >= 0);
        if (!result) {
            QCOMPARE(result.error().path, errorPath);
            if (!errorDescription.isEmpty())
                QCOMPARE(result.error().description, errorDescription);
            return;
        }
        QCOMPARE(int(result->offer.kind()), kind);
        const QJsonValue until = json.value("proJusquAu");
        QCOMPARE(result->offer.until(), kind == int(Kind::free) || until.isNull()
                                            ? std::nullopt
                                            : std::optional(utc("2026-04-01T10:00:00Z")));
    }

    void datesInBothFormsAndOnlyThose() {
        const std::pair<const char*, const char*> good[] = {
            {"2026-03-02T09:30:00Z", "2026-03-02T09:30:00Z"},
            {"2026-03-02T09:30:00.1239Z", "2026-03-02T09:30:00.123Z"},
            {"2026-03-02T04:30:00-05:00", "2026-03-02T09:30:00Z"}};
        for (const auto& [text, expected] : good) {
            const Decoded<Account> result =
                decode(with(freeAccount(), "semaine.reinitialisation", QString::fromLatin1(text)));
            QVERIFY2(result, text);
            QCOMPARE(result->week.resetsAt.toMSecsSinceEpoch(), utc(expected).toMSecsSinceEpoch());
        }
        for (const char* bad :
             {"2026-03-02", "2026-03-02T09:30:00", "2026-03-02 09:30:00Z", "2026-03-02T09:30:00.Z",
              "2026-02-29T09:30:00Z", "2026-03-02T09:30:00Zjunk", "2026-03-02T09:30:00+01"}) {
            QCOMPARE(decode(with(freeAccount(), "semaine.reinitialisation", bad)).error(),
                     (DecodingError{u"semaine.reinitialisation"_s, u"Date ISO 8601 attendue."_s}));
        }
    }

    // A refusal names the first wrong member in reading order: the week before
    // the plan, the two price objects before the currency. Counts and prices
    // must be JSON numbers holding integers; nothing is coerced.
    void refusalsNameTheirMember_data() {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QString>("path"); // empty: accepted
        const QJsonObject free = freeAccount(), subscribed = subscribedAccount();
        const auto row = [](const char* name, const QJsonObject& json, const char* path) {
            QTest::newRow(name) << json << QString::fromLatin1(path);
        };
        row("count as a string", with(free, "semaine.reste", "12"), "semaine.reste");
        row("price with a fraction", with(free, "tarifs.annuel.centimesParMois", 12.5),
            "tarifs.annuel.centimesParMois");
        row("price beyond integers", with(free, "tarifs.annuel.centimesParMois", 1e30),
            "tarifs.annuel.centimesParMois");
        row("negative count", with(free, "semaine.reste", -12), "");
        row("integral double", with(free, "tarifs.annuel.centimesParMois", 12.0), "");
        row("no email", with(free, "email", QJsonValue::Undefined), "email");
        row("week as an array", with(free, "semaine", QJsonArray{1}), "semaine");
        row("referral link not a URL", with(free, "parrainage.lien", "a b"), "parrainage.lien");
        row("week before plan", with(with(free, "offre", "illimite"), "semaine.mots", ""),
            "semaine.mots");
        row("prices before currency",
            with(with(free, "tarifs.devise", 3), "tarifs.annuel", QJsonValue::Null),
            "tarifs.annuel");
        row("period in English", with(subscribed, "abonnement.periode", "monthly"),
            "abonnement.periode");
        row("cancellation as a word", with(subscribed, "abonnement.resilie", "non"),
            "abonnement.resilie");
        row("subscription as a string", with(subscribed, "abonnement", "active"), "abonnement");
    }

    void refusalsNameTheirMember() {
        QFETCH(QJsonObject, json);
        QFETCH(QString, path);
        const Decoded<Account> result = decode(json);
        QCOMPARE(result ? QString() : result.error().path, path);
    }

    void subscription() {
        const QJsonObject subscribed = subscribedAccount();
        const Account account = decoded(subscribed);
        QCOMPARE(account.subscription->period, Account::Subscription::Period::yearly);
        QVERIFY(account.subscription->paymentFailed());
        QVERIFY(!decoded(with(subscribed, "abonnement.statut", "PAST_DUE"))
                     .subscription->paymentFailed());
        QVERIFY(
            decoded(with(subscribed, "abonnement.statut", "trialing")).subscription->isTrialing());
    }

    // An unusable link is no link; the account still decodes.
    void linksAreReadTolerantly() {
        for (const QJsonValue& terms :
             {QJsonValue(u"http://parlova.fr/c"_s), QJsonValue(42), QJsonValue(u"https:///c"_s)}) {
            const Account account = decoded(with(freeAccount(), "liens.conditions", terms));
            QCOMPARE(account.links.terms, std::nullopt);
            QCOMPARE(account.links.privacy, QUrl(u"https://parlova.fr/confidentialite"_s));
        }
        QCOMPARE(decoded(with(freeAccount(), "liens", "https://parlova.fr")).links.privacy,
                 std::nullopt);
        QCOMPARE(
            decoded(with(freeAccount(), "liens.conditions", "HTTPS://parlova.fr/c")).links.terms,
            QUrl(u"https://parlova.fr/c"_s));
    }

    void notAnAccountFailsCleanly() {
        const QByteArray json = QJsonDocument(freeAccount()).toJson(QJsonDocument::Compact);
        for (qsizetype length = 0; length < json.size(); ++length)
            QVERIFY2(!Account::fromJson(json.left(length)), qPrintable(QString::number(length)));
        for (const QByteArray& body : {"<html>502</html>"_ba, "[]"_ba, "null"_ba, "{}"_ba,
                                       "{\"email\":\"\xff\"}"_ba, QByteArray(100000, '[')})
            QVERIFY(!Account::fromJson(body).error().text().isEmpty());
    }

    // Well-formed bodies with members of every shape: each comes back as a
    // value or a failure, never a crash, and whatever gets through is a
    // coherent offer. The seed is fixed for replay.
    void survivesMutatedBodies() {
        QRandomGenerator random(20260302);
        const char* paths[] = {"offre",         "proJusquAu",      "abonnement",
                               "semaine",       "semaine.reste",   "semaine.reinitialisation",
                               "tarifs.annuel", "liens.conditions"};
        const QJsonValue shapes[] = {
            QJsonValue::Null, QJsonValue::Undefined, u"essai"_s, u"2026-03-02T09:30:00Z"_s, 0.5,
            QJsonArray{1}};
        for (int round = 0; round < 2000; ++round) {
            QJsonObject json = round % 2 ? freeAccount() : proAccount();
            for (int edit = 1 + random.bounded(3); edit > 0; --edit)
                json = with(json, paths[random.bounded(int(std::size(paths)))],
                            shapes[random.bounded(int(std::size(shapes)))]);
            if (const Decoded<Account> result = decode(json)) {
                const Kind kind = result->offer.kind();
                QVERIFY(kind != Kind::free || (result->week.limit && result->week.remaining));
                QVERIFY(kind == Kind::free || kind == Kind::pro || result->offer.until());
            }
        }
    }

    void limitAndWeekEndFollowTheClock() {
        Account account = decoded(with(freeAccount(), "semaine.reste", 0));
        const QDateTime reset = account.week.resetsAt;
        QVERIFY(account.isAtLimit(reset.addMSecs(-1)));
        QVERIFY(!account.isAtLimit(reset));
        QVERIFY(!account.weekHasEnded(reset.addMSecs(-1)));
        QVERIFY(account.weekHasEnded(reset));
        QCOMPARE(account.offerLine(), u"Limite de la semaine atteinte"_s);
        QVERIFY(decoded(with(freeAccount(), "semaine.reste", -40)).isAtLimit(reset.addDays(-1)));

        // Unlimited offers are never at the limit, whatever their week says.
        account = decoded(proAccount());
        account.week.remaining = 0;
        QVERIFY(!account.isAtLimit(reset.addDays(-1)));
    }

    void offeredProIsKeptBeyondFortyEightHours() {
        const QDateTime end = utc("2026-03-20T12:00:00Z");
        for (const char* plan : {"essai", "offert"}) {
            const Account account = decoded(
                with(with(freeAccount(), "offre", plan), "proJusquAu", "2026-03-20T12:00:00Z"));
            QCOMPARE(account.offeredProKept(end.addSecs(-172800)), std::nullopt);
            QCOMPARE(account.offeredProKept(end.addSecs(-172801)), end);
            QCOMPARE(account.offeredProKept(end.addDays(1)), std::nullopt);
        }
        const Account paid = decoded(with(proAccount(), "proJusquAu", "2026-03-20T12:00:00Z"));
        QCOMPARE(paid.offeredProKept(end.addDays(-30)), std::nullopt);
    }

    void weekUpdateMustFitTheOffer() {
        Account free = decoded(freeAccount());
        const Account::Week before = free.week;
        QVERIFY(!free.update({300, 2000, std::nullopt, before.resetsAt}));
        QCOMPARE(free.week, before);
        const Account::Week capped{300, 2000, 1700, before.resetsAt.addDays(7)};
        QVERIFY(free.update(capped));
        QCOMPARE(free.week, capped);

        Account pro = decoded(proAccount());
        QVERIFY(!pro.update(capped));
        QVERIFY(pro.update({900, std::nullopt, std::nullopt, before.resetsAt}));
        QCOMPARE(pro.week.words, 900);
    }
};

QTEST_GUILESS_MAIN(TestAccount)
#include "tst_account.moc"
