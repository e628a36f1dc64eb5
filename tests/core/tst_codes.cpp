#include "core/domain/DeepLink.h"
#include "core/domain/ReferralCode.h"
#include "core/domain/SignInCode.h"

#include <QTest>
#include <QUrl>

#include <optional>

using parlova::core::DeepLink;
using parlova::core::ReferralCode;
using parlova::core::SignInCode;
using namespace Qt::StringLiterals;

// Lets a failed comparison show which code came out.
char* toString(const std::optional<QString>& code) {
    return code ? QTest::toString(*code) : qstrdup("none");
}

class TestCodes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signInDigits() {
        const std::pair<const char16_t*, const char*> rows[] = {
            {u"48-29-13-77", "482913"},
            {u"Votre code : 4 8 2 9 1 3. Bonne journée !", "482913"},
            {u"\uFF14\uFF18\uFF12\uFF19\uFF11\uFF13", "482913"}, // full width
            // Mathematical digits, outside the basic plane.
            {u"\U0001D7D2\U0001D7D6\U0001D7D0\U0001D7D7\U0001D7CF\U0001D7D1", "482913"},
            {u"48", "48"},
            {u"\u0664\u0668\u0662", ""},       // Arabic-Indic digits are not ASCII
            {u"4\uFE0F\u20E3 82913", "82913"}, // a keycap digit is not a plain digit
        };
        for (const auto& [text, digits] : rows)
            QCOMPARE(SignInCode::digits(QString::fromUtf16(text)), QString::fromLatin1(digits));
    }

    // Completeness takes the field as it stands; digits() is the cleaning step.
    void signInCompleteness() {
        QVERIFY(SignInCode::isComplete(QStringLiteral("048291")));
        for (const char* code : {"04829", "0482913", "04829a", "048 91", ""})
            QVERIFY2(!SignInCode::isComplete(QString::fromLatin1(code)), code);
        QVERIFY(!SignInCode::isComplete(QStringLiteral("\uFF10\uFF14\uFF18\uFF12\uFF19\uFF11")));
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
};

QTEST_GUILESS_MAIN(TestCodes)
#include "tst_codes.moc"
