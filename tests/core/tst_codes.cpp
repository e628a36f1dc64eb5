#include "core/DeepLink.h"
#include "core/ReferralCode.h"
#include "core/SignInCode.h"

#include <QTest>
#include <QUrl>

#include <optional>

using parlova::core::DeepLink;
using parlova::core::ReferralCode;
using parlova::core::SignInCode;

Q_DECLARE_METATYPE(std::optional<QString>)

// Lets a failed comparison show which code came out.
char* toString(const std::optional<QString>& code) {
    return code ? QTest::toString(*code) : qstrdup("none");
}

Q_DECLARE_METATYPE(std::optional<DeepLink>)

namespace parlova::core {

char* toString(const DeepLink& link) {
    return link.kind() == DeepLink::Kind::account
               ? qstrdup("account")
               : qstrdup(QByteArray("referral(" + link.code().toUtf8() + ")"));
}

} // namespace parlova::core

char* toString(const std::optional<DeepLink>& link) {
    return link ? parlova::core::toString(*link) : qstrdup("none");
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

    void referralNormalized_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("code");

        const std::optional<QString> valid = QStringLiteral("K7M2QX");
        const std::optional<QString> none;

        QTest::newRow("lower case, hyphen and spaces") << " k7m-2qx " << valid;
        QTest::newRow("pasted from a mail, line break and no-break space")
            << QString::fromUtf8("\u00A0K7M\r\n2QX\n") << valid;
        // White_Space and Pd (dash punctuation) are dropped wherever they stand,
        // outside the basic plane too.
        QTest::newRow("next line, line separator, ideographic space")
            << QString::fromUtf8("\u0085K7M\u20282QX\u3000") << valid;
        QTest::newRow("en dash, small em dash, Yezidi hyphen")
            << QString::fromUtf8("\u2013K7M\uFE582QX\U00010EAD") << valid;
        QTest::newRow("full-width letters and digits")
            << QString::fromUtf8("\uFF4B\uFF17\uFF2D\uFF12\uFF51\uFF38") << valid;
        QTest::newRow("full-width hyphen-minus") << QString::fromUtf8("K7M\uFF0D2QX") << valid;

        QTest::newRow("zero") << "K7M2Q0" << none;
        // U+0141: its low byte is the "A" of the alphabet.
        QTest::newRow("Polish L with stroke") << QString::fromUtf8("K7M2Q\u0141") << none;
        QTest::newRow("dotless i upper-cases to I") << QString::fromUtf8("K7M2Q\u0131") << none;
        QTest::newRow("underscore is not a dash") << "K7M_2QX" << none;
        QTest::newRow("minus sign is not a dash") << QString::fromUtf8("K7M\u22122QX") << none;
        QTest::newRow("zero-width space is not white space")
            << QString::fromUtf8("K7M\u200B2QX") << none;
        QTest::newRow("a dash leaves five") << "K7M2Q-" << none;
    }

    void referralNormalized() {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, code);
        QCOMPARE(ReferralCode::normalized(text), code);
    }

    void fromUrl_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<std::optional<DeepLink>>("link");

        const std::optional<DeepLink> account = DeepLink::account();
        const std::optional<DeepLink> referral = DeepLink::referral("K7M2QX");
        const std::optional<DeepLink> none;

        QTest::newRow("account") << "parlova://compte" << account;
        QTest::newRow("account, capitals") << "PARLOVA://COMPTE" << account;
        QTest::newRow("account, query, fragment, user and port")
            << "parlova://moi@compte:8080/?onglet=pro#haut" << account;
        QTest::newRow("account with a path piece") << "parlova://compte/pro" << none;

        QTest::newRow("referral") << "parlova://parrainage/K7M2QX" << referral;
        QTest::newRow("referral, capital scheme and host, lower-case code")
            << "PARLOVA://PARRAINAGE/k7m2qx" << referral;
        QTest::newRow("referral, doubled slash") << "parlova://parrainage//K7M2QX" << referral;
        QTest::newRow("referral, hyphen in the code") << "parlova://parrainage/K7M-2QX" << referral;
        QTest::newRow("referral, escaped host") << "parlova://parr%61inage/K7M2QX" << referral;
        QTest::newRow("referral, query and fragment ignored")
            << "parlova://parrainage/K7M2QX?source=courriel#bas" << referral;

        QTest::newRow("referral without a path") << "parlova://parrainage" << none;
        QTest::newRow("referral, code in the query") << "parlova://parrainage?code=K7M2QX" << none;
        QTest::newRow("referral, code with a zero") << "parlova://parrainage/K7M2Q0" << none;
        QTest::newRow("referral, second piece") << "parlova://parrainage/K7M2QX/suite" << none;
        QTest::newRow("referral, escaped slash splits the code")
            << "parlova://parrainage/K7M%2F2QX" << none;

        QTest::newRow("https with the same host and path") << "https://parrainage/K7M2QX" << none;
        QTest::newRow("unknown host") << "parlova://reglages" << none;
        QTest::newRow("no host") << "parlova:parrainage/K7M2QX" << none;
        QTest::newRow("empty") << "" << none;
    }

    void fromUrl() {
        QFETCH(QString, url);
        QFETCH(std::optional<DeepLink>, link);
        QCOMPARE(DeepLink::fromUrl(QUrl(url)), link);
    }
};

QTEST_GUILESS_MAIN(TestCodes)
#include "tst_codes.moc"
