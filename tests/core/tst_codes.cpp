#include "core/ReferralCode.h"
#include "core/SignInCode.h"

#include <QTest>

#include <optional>

using parlova::core::ReferralCode;
using parlova::core::SignInCode;

Q_DECLARE_METATYPE(std::optional<QString>)

// Lets a failed comparison show which code came out.
char* toString(const std::optional<QString>& code) {
    return code ? QTest::toString(*code) : qstrdup("none");
}

namespace {

// Every code point with the Unicode White_Space property, then every one of
// the general category Pd (dash punctuation), one outside the basic plane.
const char32_t separators[] = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
    0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, //
    0x002D, 0x058A, 0x05BE, 0x1400, 0x1806, 0x2010, 0x2011, 0x2012, 0x2013,
    0x2014, 0x2015, 0x2E17, 0x2E1A, 0x2E3A, 0x2E3B, 0x2E40, 0x301C, 0x3030,
    0x30A0, 0xFE31, 0xFE32, 0xFE58, 0xFE63, 0xFF0D, 0x10EAD};

} // namespace

class TestCodes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signInDigits_data();
    void signInDigits();
    void signInCompleteness_data();
    void signInCompleteness();
    void referralNormalized_data();
    void referralNormalized();
    void referralDropsEveryWhiteSpaceAndDash();
    void referralAcceptsExactlyTheAlphabet();
};

void TestCodes::signInDigits_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("digits");

    QTest::newRow("three, space, three") << "482 913"
                                         << "482913";
    QTest::newRow("four hyphenated pairs") << "48-29-13-77"
                                           << "482913";
    QTest::newRow("pasted sentence")
        << QString::fromUtf8("Votre code : 4 8 2 9 1 3. Bonne journée !") << "482913";
    QTest::newRow("full-width digits")
        << QString::fromUtf8("\uFF14\uFF18\uFF12\uFF19\uFF11\uFF13") << "482913";
    QTest::newRow("mathematical digits outside the basic plane")
        << QString::fromUtf8("\U0001D7D2\U0001D7D6\U0001D7D0\U0001D7D7\U0001D7CF\U0001D7D1")
        << "482913";
    QTest::newRow("a seventh digit is dropped") << "4829137"
                                                << "482913";
    QTest::newRow("partial entry") << "48"
                                   << "48";
    QTest::newRow("Arabic-Indic digits are not ASCII")
        << QString::fromUtf8("\u0664\u0668\u0662") << "";
    QTest::newRow("a digit carrying a keycap is not a plain digit")
        << QString::fromUtf8("4\uFE0F\u20E3 82913") << "82913";
    QTest::newRow("no digits") << "code"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCodes::signInDigits() {
    QFETCH(QString, text);
    QFETCH(QString, digits);
    QCOMPARE(SignInCode::digits(text), digits);
}

void TestCodes::signInCompleteness_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("complete");

    QTest::newRow("six digits") << "048291" << true;
    QTest::newRow("five digits") << "04829" << false;
    QTest::newRow("seven digits") << "0482913" << false;
    QTest::newRow("five digits and a letter") << "04829a" << false;
    QTest::newRow("six with a space") << "048 91" << false;
    // Completeness takes the field as it stands; digits() is the cleaning step.
    QTest::newRow("six Arabic-Indic digits")
        << QString::fromUtf8("\u0660\u0664\u0668\u0662\u0669\u0661") << false;
    QTest::newRow("six full-width digits")
        << QString::fromUtf8("\uFF10\uFF14\uFF18\uFF12\uFF19\uFF11") << false;
    QTest::newRow("empty") << "" << false;
}

void TestCodes::signInCompleteness() {
    QFETCH(QString, code);
    QFETCH(bool, complete);
    QCOMPARE(SignInCode::isComplete(code), complete);
}

void TestCodes::referralNormalized_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<QString>>("code");

    const std::optional<QString> valid = QStringLiteral("K7M2QX");
    const std::optional<QString> none;

    QTest::newRow("canonical") << "K7M2QX" << valid;
    QTest::newRow("lower case") << "k7m2qx" << valid;
    QTest::newRow("spaces around, hyphen inside") << " K7M-2QX " << valid;
    QTest::newRow("space inside") << "K7M 2QX" << valid;
    QTest::newRow("lower case, en dash inside") << QString::fromUtf8("k7m\u20132qx") << valid;
    QTest::newRow("pasted from a mail, line break and no-break space")
        << QString::fromUtf8("\u00A0K7M\r\n2QX\n") << valid;
    QTest::newRow("full-width letters and digits")
        << QString::fromUtf8("\uFF4B\uFF17\uFF2D\uFF12\uFF51\uFF38") << valid;
    QTest::newRow("full-width hyphen-minus") << QString::fromUtf8("K7M\uFF0D2QX") << valid;

    QTest::newRow("zero") << "K7M2Q0" << none;
    QTest::newRow("one") << "K7M2Q1" << none;
    QTest::newRow("letter O") << "K7M2QO" << none;
    QTest::newRow("letter I") << "K7M2QI" << none;
    QTest::newRow("lower-case l") << "k7m2ql" << none;
    QTest::newRow("accented letter") << QString::fromUtf8("K7M2QÉ") << none;
    // U+0141: its low byte is the "A" of the alphabet.
    QTest::newRow("Polish L with stroke") << QString::fromUtf8("K7M2Q\u0141") << none;
    QTest::newRow("Cyrillic look-alike") << QString::fromUtf8("\u041A7M2QX") << none;
    QTest::newRow("dotless i upper-cases to I") << QString::fromUtf8("K7M2Q\u0131") << none;
    QTest::newRow("underscore is not a dash") << "K7M_2QX" << none;
    QTest::newRow("minus sign is not a dash") << QString::fromUtf8("K7M\u22122QX") << none;
    QTest::newRow("zero-width space is not white space")
        << QString::fromUtf8("K7M\u200B2QX") << none;
    QTest::newRow("dot") << "K7M.2QX" << none;
    QTest::newRow("seven valid characters") << "K7M2QXA" << none;
    QTest::newRow("five valid characters") << "K7M2Q" << none;
    QTest::newRow("only separators") << " - - - " << none;
    QTest::newRow("empty") << "" << none;
}

void TestCodes::referralNormalized() {
    QFETCH(QString, text);
    QFETCH(std::optional<QString>, code);
    QCOMPARE(ReferralCode::normalized(text), code);
}

void TestCodes::referralDropsEveryWhiteSpaceAndDash() {
    for (const char32_t separator : separators) {
        const QString sep = QString::fromUcs4(&separator, 1);
        QVERIFY2(ReferralCode::normalized(sep + "K7M" + sep + "2QX" + sep) == u"K7M2QX",
                 qPrintable(QString::number(separator, 16)));
    }
}

void TestCodes::referralAcceptsExactlyTheAlphabet() {
    QCOMPARE(ReferralCode::alphabet.size(), 31);
    // Printable ASCII after a valid stem: only the alphabet, in either case, completes a code.
    for (char c = '!'; c <= '~'; ++c) {
        const QChar upper = QChar(c).toUpper();
        const bool inAlphabet = ReferralCode::alphabet.contains(upper);
        const auto code = ReferralCode::normalized(QStringLiteral("K7M2Q") + QChar(c));
        if (c == '-') {
            QCOMPARE(code, std::nullopt); // removed, leaving five characters
            continue;
        }
        QVERIFY2(code.has_value() == inAlphabet, qPrintable(QString(QChar(c))));
        if (inAlphabet)
            QCOMPARE(*code, QStringLiteral("K7M2Q") + upper);
    }
    for (const char excluded : {'0', '1', 'I', 'L', 'O'})
        QVERIFY(!ReferralCode::alphabet.contains(QLatin1Char(excluded)));
}

QTEST_GUILESS_MAIN(TestCodes)
#include "tst_codes.moc"
