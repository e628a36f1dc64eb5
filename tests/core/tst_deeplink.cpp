#include "core/DeepLink.h"

#include <QTest>
#include <QUrl>

#include <optional>

using parlova::core::DeepLink;

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

class TestDeepLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
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

QTEST_GUILESS_MAIN(TestDeepLink)
#include "tst_deeplink.moc"
