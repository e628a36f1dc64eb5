// The account as the relay sends it, the codes and links that lead to one,
// and the lines it reads as.
#include "core/domain/Account.h"
#include "core/domain/DeepLink.h"
#include "core/domain/OfferText.h"
#include "core/domain/ReferralCode.h"
#include "core/domain/SignIn.h"
#include "core/domain/SignInCode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrl>

#include <ctime>
#include <limits>
#include <optional>

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

// A code check's answer around a trial account, with a referral outcome
// (none when undefined).
QByteArray answer(const QJsonValue& referral, const QJsonValue& account = QJsonValue::Undefined) {
    const QJsonObject trial =
        with(with(freeAccount(), "offre", "essai"), "proJusquAu", "2026-04-01T00:00:00Z");
    const QJsonObject object =
        with({{"jeton", "jeton-secret"}, {"compte", account.isUndefined() ? trial : account}},
             "parrainage", referral);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QDateTime utc(int year, int month, int day, int hour = 12, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}

// Ordinary spaces in the expectations stand for no-break spaces.
QString nbsp(QString text) {
    return text.replace(u' ', QChar(0x00A0));
}

} // namespace

// Lets a failed comparison show which code came out.
char* toString(const std::optional<QString>& code) {
    return code ? QTest::toString(*code) : qstrdup("none");
}

class TestAccount : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // Far from Paris on purpose: no phrase may depend on the machine's zone.
        qputenv("TZ", "Pacific/Kiritimati");
        tzset();
    }

    void offerIsFoldedFromPlanDateAndCap() {
        const QJsonObject free = freeAccount();
        const QString date = u"2026-04-01T10:00:00Z"_s;
        struct Row {
            QJsonObject json;
            int kind; // -1: the decoding fails at errorPath
            QString errorPath = {}, errorDescription = {};
        };
        const Row rows[] = {
            {with(free, "proJusquAu", date), int(Kind::free)}, // a free offer ignores the date
            {with(free, "semaine.plafond", QJsonValue::Null), -1, u"semaine"_s,
             u"Offre gratuite sans plafond."_s},
            {with(with(free, "offre", "essai"), "proJusquAu", date), int(Kind::trial)},
            {with(free, "offre", "essai"), -1, u"proJusquAu"_s, u"Pro sans date de fin."_s},
            {with(with(free, "offre", "offert"), "proJusquAu", date), int(Kind::gifted)},
            {with(proAccount(), "proJusquAu", date), int(Kind::pro)},
            {with(free, "offre", "GRATUIT"), -1, u"offre"_s},
            {with(free, "offre", 1), -1, u"offre"_s},
        };
        for (const Row& row : rows) {
            const Decoded<Account> result = decode(row.json);
            QCOMPARE(result.ok(), row.kind >= 0);
            if (!result) {
                QCOMPARE(result.error().path, row.errorPath);
                if (!row.errorDescription.isEmpty())
                    QCOMPARE(result.error().description, row.errorDescription);
                continue;
            }
            QCOMPARE(int(result->offer.kind()), row.kind);
            QCOMPARE(result->offer.until(), row.kind == int(Kind::free)
                                                ? std::nullopt
                                                : std::optional(utc("2026-04-01T10:00:00Z")));
        }
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
    void refusalsNameTheirMember() {
        const QJsonObject free = freeAccount(), subscribed = subscribedAccount();
        const std::pair<QJsonObject, const char*> rows[] = {
            // "": accepted
            {with(free, "semaine.reste", "12"), "semaine.reste"},
            {with(free, "tarifs.annuel.centimesParMois", 12.5), "tarifs.annuel.centimesParMois"},
            {with(free, "tarifs.annuel.centimesParMois", 1e30), "tarifs.annuel.centimesParMois"},
            {with(free, "semaine.reste", -12), ""},
            {with(free, "tarifs.annuel.centimesParMois", 12.0), ""},
            {with(free, "email", QJsonValue::Undefined), "email"},
            {with(free, "semaine", QJsonArray{1}), "semaine"},
            {with(free, "parrainage.lien", "a b"), "parrainage.lien"},
            {with(with(free, "offre", "illimite"), "semaine.mots", ""), "semaine.mots"},
            {with(with(free, "tarifs.devise", 3), "tarifs.annuel", QJsonValue::Null),
             "tarifs.annuel"},
            {with(subscribed, "abonnement.periode", "monthly"), "abonnement.periode"},
            {with(subscribed, "abonnement.resilie", "non"), "abonnement.resilie"},
            {with(subscribed, "abonnement", "active"), "abonnement"},
        };
        for (const auto& [json, path] : rows) {
            const Decoded<Account> result = decode(json);
            QCOMPARE(result ? QString() : result.error().path, QString::fromLatin1(path));
        }
        // Payment states and their case: subscriptionState below.
        QCOMPARE(decoded(subscribed).subscription->period, Account::Subscription::Period::yearly);
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

    void limitAndWeekEndFollowTheClock() {
        Account account = decoded(with(freeAccount(), "semaine.reste", 0));
        const QDateTime reset = account.week.resetsAt;
        QVERIFY(account.isAtLimit(reset.addMSecs(-1)));
        QVERIFY(!account.isAtLimit(reset));
        QVERIFY(!account.weekHasEnded(reset.addMSecs(-1)));
        QVERIFY(account.weekHasEnded(reset));
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

    void answerToACodeCheck() {
        const std::pair<QJsonValue, std::optional<ReferralOutcome>> rows[] = {
            {u"applique"_s, ReferralOutcome::applied},
            {u"compte-existant"_s, ReferralOutcome::existingAccount},
            {u"refuse"_s, ReferralOutcome::refused},
            {QJsonValue::Undefined, std::nullopt},
            {QJsonValue::Null, std::nullopt},
            // An unknown word still signs in; words are matched exactly.
            {u"double"_s, std::nullopt},
            {u"Applique"_s, std::nullopt},
            {u"applique "_s, std::nullopt},
            {1, std::nullopt},
        };
        for (const auto& [referral, expected] : rows) {
            const Decoded<SignIn> signIn = SignIn::fromJson(answer(referral));
            QVERIFY2(signIn, signIn ? "" : qPrintable(signIn.error().text()));
            QCOMPARE(signIn->token, u"jeton-secret"_s);
            QCOMPARE(signIn->account.offer.kind(), Account::Offer::Kind::trial);
            QCOMPARE(signIn->referral, expected);
        }
    }

    void incompleteAccountGivesNoToken() {
        const QJsonObject emailOnly{{"email", "lea@exemple.fr"}};
        QCOMPARE(SignIn::fromJson(answer(QJsonValue::Undefined, emailOnly)).error().path,
                 u"compte.semaine"_s);
        QCOMPARE(SignIn::fromJson(answer(QJsonValue::Undefined, QJsonValue::Null)).error().path,
                 u"compte"_s);
        QCOMPARE(SignIn::fromJson(R"({"compte":{}})").error().path, u"jeton"_s);
    }

    // The codes typed and the links followed.
    // Completeness takes the field as it stands; digits() is the cleaning step.
    void signInDigitsAndCompleteness() {
        const std::tuple<const char16_t*, const char*, bool> rows[] = {
            {u"048291", "048291", true},
            {u"0482913", "048291", false}, // digits() keeps the first six
            {u"48-29-13-77", "482913", false},
            {u"Votre code : 4 8 2 9 1 3. Bonne journée !", "482913", false},
            {u"\uFF14\uFF18\uFF12\uFF19\uFF11\uFF13", "482913", false}, // full width
            // Mathematical digits, outside the basic plane.
            {u"\U0001D7D2\U0001D7D6\U0001D7D0\U0001D7D7\U0001D7CF\U0001D7D1", "482913", false},
            {u"48", "48", false},
            {u"\u0664\u0668\u0662", "", false},       // Arabic-Indic digits are not ASCII
            {u"4\uFE0F\u20E3 82913", "82913", false}, // a keycap digit is not a plain digit
        };
        for (const auto& [text, digits, complete] : rows) {
            QCOMPARE(SignInCode::digits(QString::fromUtf16(text)), QString::fromLatin1(digits));
            QCOMPARE(SignInCode::isComplete(QString::fromUtf16(text)), complete);
        }
    }

    void referralNormalized() {
        // White_Space and Pd (dash punctuation) are dropped wherever they stand,
        // outside the basic plane too; nothing else is.
        for (const char16_t* text : {u" k7m-2qx ", u"\u00A0K7M\r\n2QX\n",
                                     u"\u0085K7M\u20282QX\u3000", u"\u2013K7M\uFE582QX\U00010EAD",
                                     u"\uFF4B\uFF17\uFF2D\uFF12\uFF51\uFF38", u"K7M\uFF0D2QX"})
            QCOMPARE(ReferralCode::normalized(QString::fromUtf16(text)), u"K7M2QX"_s);
        for (const char16_t* text : {u"K7M2Q0",
                                     u"K7M2Q\u0141", // its low byte is the "A" of the alphabet
                                     u"K7M2Q\u0131", // dotless i upper-cases to I
                                     u"K7M_2QX", u"K7M\u22122QX", u"K7M\u200B2QX", u"K7M2Q-"})
            QCOMPARE(ReferralCode::normalized(QString::fromUtf16(text)), std::nullopt);
    }

    void fromUrl() {
        const std::pair<std::optional<DeepLink>, QList<const char*>> rows[] = {
            {DeepLink::account(),
             {"parlova://compte", "PARLOVA://COMPTE",
              "parlova://moi@compte:8080/?onglet=pro#haut"}},
            {DeepLink::referral("K7M2QX"),
             {"parlova://parrainage/K7M2QX", "PARLOVA://PARRAINAGE/k7m2qx",
              "parlova://parrainage//K7M2QX", "parlova://parrainage/K7M-2QX",
              "parlova://parr%61inage/K7M2QX", "parlova://parrainage/K7M2QX?source=courriel#bas"}},
            {std::nullopt,
             {"parlova://compte/pro", "parlova://parrainage", "parlova://parrainage?code=K7M2QX",
              "parlova://parrainage/K7M2Q0", "parlova://parrainage/K7M2QX/suite",
              "parlova://parrainage/K7M%2F2QX", // an escaped slash splits the code
              "https://parrainage/K7M2QX", "parlova://reglages", "parlova:parrainage/K7M2QX", ""}},
        };
        for (const auto& [link, urls] : rows)
            for (const char* url : urls)
                QVERIFY2(DeepLink::fromUrl(QUrl(QString::fromLatin1(url))) == link, url);
    }

    // Its lines.
    void dayIsTakenInParis() {
        const std::pair<QDateTime, QString> rows[] = {
            {utc(2026, 3, 2), u"2 mars"_s},
            {utc(2026, 6, 30, 22, 30), u"1er juillet"_s}, // summer: UTC+2
            {utc(2026, 6, 30, 21, 59), u"30 juin"_s},
            {utc(2026, 8, 15), u"15 août"_s},
            {utc(2026, 10, 24, 22, 30), u"25 octobre"_s}, // the night the clocks go back
            {QDateTime(QDate(2026, 8, 31), QTime(20, 0), QTimeZone("America/New_York")),
             u"1er septembre"_s},
        };
        for (const auto& [date, expected] : rows)
            QCOMPARE(OfferText::day(date), expected);
    }

    void groupedAndAmountUseNoBreakSpaces() {
        // The lowest number carries a sign and every group at once.
        const std::pair<qint64, QString> numbers[] = {
            {999, u"999"_s},
            {1000, u"1 000"_s},
            {std::numeric_limits<qint64>::min(), u"-9 223 372 036 854 775 808"_s},
        };
        for (const auto& [number, expected] : numbers)
            QCOMPARE(OfferText::grouped(number), nbsp(expected));

        const std::tuple<qint64, QString, QString> amounts[] = {
            {1200, u"EUR"_s, u"12 €"_s},
            {1205, u"eur"_s, u"12,05 €"_s},
            {100000, u"chf"_s, u"1 000 CHF"_s},
            // The minus survives when the whole units are zero.
            {-5, u"eur"_s, u"-0,05 €"_s},
            {-123400, u"eur"_s, u"-1 234 €"_s},
            {std::numeric_limits<qint64>::min(), u"eur"_s, u"-92 233 720 368 547 758,08 €"_s},
        };
        for (const auto& [cents, currency, expected] : amounts)
            QCOMPARE(OfferText::amount(cents, currency), nbsp(expected));
    }

    void offerLine() {
        // 23:30 UTC on the last day of January is already February in Paris.
        const QDateTime end = utc(2026, 1, 31, 23, 30);
        using Offer = Account::Offer;
        QCOMPARE(OfferText::line(Offer::trial(end), 0), u"Essai Pro jusqu\u2019au 1er février"_s);
        QCOMPARE(OfferText::line(Offer::gifted(end), 0), u"Pro offert jusqu\u2019au 1er février"_s);
        QCOMPARE(OfferText::line(Offer::pro(end), 0), u"Pro"_s);
        QCOMPARE(OfferText::line(Offer::free(), -12), u"Limite de la semaine atteinte"_s);
        QCOMPARE(OfferText::line(Offer::free(), 1), u"1 mot restant cette semaine"_s);
        QCOMPARE(OfferText::line(Offer::free(), 1500),
                 nbsp(u"1 500"_s) + u" mots restants cette semaine"_s);
    }

    void subscriptionState() {
        const std::tuple<QString, bool, QString> rows[] = {
            {u"past_due"_s, true, u"Résilié : Pro jusqu\u2019au 1er mai"_s}, // cancellation wins
            {u"past_due"_s, false, u"Paiement refusé : mettez à jour votre moyen de paiement"_s},
            {u"trialing"_s, false, u"Premier paiement le 1er mai"_s},
            {u"PAST_DUE"_s, false, u"Renouvellement le 1er mai"_s},
        };
        for (const auto& [status, cancels, expected] : rows) {
            const Account::Subscription subscription{Account::Subscription::Period::monthly, status,
                                                     utc(2026, 4, 30, 23, 0), cancels};
            QCOMPARE(OfferText::subscriptionState(subscription), expected);
        }
    }

    void pricesAndCounters() {
        const Account::Prices prices{u"eur"_s, 1200, 12000, 1000};
        QCOMPARE(OfferText::price(Account::Subscription::Period::yearly, prices),
                 nbsp(u"120 €"_s) + u" par an, soit "_s + nbsp(u"10 €"_s) + u" par mois"_s);
        QCOMPARE(OfferText::friendsLabel(0), u"ami inscrit"_s);
        QCOMPARE(OfferText::friendsLabel(2), u"amis inscrits"_s);
    }
};

QTEST_GUILESS_MAIN(TestAccount)
#include "tst_account.moc"
