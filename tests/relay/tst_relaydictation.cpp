// Dictation against a running relay, over HTTPS: the multipart form and the
// answer, the free week's cap and its Monday reset, every kind of bad upload
// (each refused with a JSON error body while the relay keeps serving), the
// control route's scripted answers, TLS trust, and the external-command
// engine.

#include "RelayProcess.h"
#include "Rig.h"
#include "SpeechSamples.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QSslSocket>
#include <QTest>
#include <QTimeZone>

using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using Script = parlova::test::RelayProcess::ScriptedAnswer;

namespace {

QByteArray tone(double seconds) {
    return SpeechSamples::m4a({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=frequency=300:duration=%1").arg(seconds)},
                              nullptr);
}

QString words(int count) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("mot");
    return list.join(u' ');
}

} // namespace

class TestRelayDictation : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    QByteArray m_take;
    int m_serial = 0;

    QString newUser(QString* email = nullptr) {
        const QString address = QStringLiteral("voice%1@example.com").arg(++m_serial);
        if (email)
            *email = address;
        return m_relay.signIn(address);
    }

    // A raw multipart upload with the given body.
    RelayProcess::Answer
    upload(const QString& token, const QByteArray& body,
           const QByteArray& contentType = "multipart/form-data; boundary=limite") {
        return m_relay.send(
            "POST", QStringLiteral("api/dicter"), body,
            {{"Authorization", "Bearer " + token.toUtf8()}, {"Content-Type", contentType}});
    }

    static QByteArray part(const QByteArray& disposition, const QByteArray& content,
                           const QByteArray& type = {}) {
        QByteArray bytes = "--limite\r\nContent-Disposition: form-data; " + disposition + "\r\n";
        if (!type.isEmpty())
            bytes += "Content-Type: " + type + "\r\n";
        return bytes + "\r\n" + content + "\r\n";
    }
    QByteArray audioPart() const {
        return part(R"(name="audio"; filename="dictee.m4a")", m_take, "audio/mp4");
    }

    void stillServing(const QString& token) {
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), token).status, 200);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        m_take = tone(1.5);
        QVERIFY(!m_take.isEmpty());
    }

    void dictationAnswersTextWordsAndWeek() {
        const QString token = newUser();
        QVERIFY(m_relay.setNextTranscript(QStringLiteral("  Bonjour, je dicte un texte.\n")));
        const auto answer = m_relay.dictate(token, m_take, QStringLiteral("fr"));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json.keys(), (QStringList{QStringLiteral("mots"), QStringLiteral("semaine"),
                                                  QStringLiteral("texte")}));
        QCOMPARE(answer.json.value(QStringLiteral("texte")).toString(),
                 QStringLiteral("Bonjour, je dicte un texte."));
        QCOMPARE(answer.json.value(QStringLiteral("mots")), QJsonValue(5));
        const QJsonObject week = answer.json.value(QStringLiteral("semaine")).toObject();
        QCOMPARE(week.value(QStringLiteral("mots")), QJsonValue(5));
        QCOMPARE(week.value(QStringLiteral("plafond")), QJsonValue(2000));
        QCOMPARE(week.value(QStringLiteral("reste")), QJsonValue(1995));
        QCOMPARE(week, m_relay.call("GET", QStringLiteral("api/compte"), token)
                           .json.value(QStringLiteral("semaine"))
                           .toObject());

        // Without a language part, and with silence: no words, nothing counted.
        QVERIFY(m_relay.setNextTranscript(QString()));
        const auto silent = m_relay.dictate(token, m_take);
        QCOMPARE(silent.status, 200);
        QCOMPARE(silent.json.value(QStringLiteral("texte")).toString(), QString());
        QCOMPARE(silent.json.value(QStringLiteral("mots")), QJsonValue(0));
        QCOMPARE(
            silent.json.value(QStringLiteral("semaine")).toObject().value(QStringLiteral("mots")),
            QJsonValue(5));
    }

    void weeklyCapAndMondayReset() {
        QString email;
        const QString token = newUser(&email);
        m_relay.adjustAccount({{QStringLiteral("email"), email}, {QStringLiteral("mots"), 1990}});
        // A dictation that crosses the cap is still delivered.
        QVERIFY(m_relay.setNextTranscript(words(25)));
        const auto last = m_relay.dictate(token, m_take);
        QCOMPARE(last.status, 200);
        const QJsonObject week = last.json.value(QStringLiteral("semaine")).toObject();
        QCOMPARE(week.value(QStringLiteral("mots")), QJsonValue(2015));
        QCOMPARE(week.value(QStringLiteral("reste")), QJsonValue(0));

        const auto refused = m_relay.dictate(token, m_take);
        QCOMPARE(refused.status, 402);
        QCOMPARE(refused.errorCode(), QStringLiteral("quota"));
        const QString reset = refused.json.value(QStringLiteral("reinitialisation")).toString();
        QCOMPARE(reset, week.value(QStringLiteral("reinitialisation")).toString());
        const QDateTime resetAt = QDateTime::fromString(reset, Qt::ISODate);
        QCOMPARE(resetAt.toTimeZone(QTimeZone("Europe/Paris")).date().dayOfWeek(), 1);

        // Gifted Pro has no cap.
        m_relay.adjustAccount({{QStringLiteral("email"), email},
                               {QStringLiteral("offre"), QStringLiteral("essai")},
                               {QStringLiteral("jours"), 7}});
        const auto pro = m_relay.dictate(token, m_take);
        QCOMPARE(pro.status, 200);
        QVERIFY(pro.json.value(QStringLiteral("semaine"))
                    .toObject()
                    .value(QStringLiteral("reste"))
                    .isNull());
        m_relay.adjustAccount({{QStringLiteral("email"), email},
                               {QStringLiteral("offre"), QStringLiteral("gratuit")}});
        QCOMPARE(m_relay.dictate(token, m_take).status, 402);

        // Monday 00:00 in Paris: the count starts again.
        QVERIFY(m_relay.advanceClock(QDateTime::currentDateTimeUtc().secsTo(resetAt) + 1));
        QVERIFY(m_relay.setNextTranscript(words(3)));
        const auto monday = m_relay.dictate(token, m_take);
        QCOMPARE(monday.status, 200);
        QCOMPARE(
            monday.json.value(QStringLiteral("semaine")).toObject().value(QStringLiteral("mots")),
            QJsonValue(3));
    }

    void friendsFirstDictationRewardsTheSponsor() {
        const QString sponsor = newUser();
        const QString code = m_relay.call("GET", QStringLiteral("api/compte"), sponsor)
                                 .json.value(QStringLiteral("parrainage"))
                                 .toObject()
                                 .value(QStringLiteral("code"))
                                 .toString();
        const QString friendToken =
            m_relay.signIn(QStringLiteral("friend-of-%1@example.com").arg(m_serial), code);
        QVERIFY(!friendToken.isEmpty());
        QCOMPARE(m_relay.dictate(friendToken, m_take).status, 200);
        QCOMPARE(m_relay.dictate(friendToken, m_take).status, 200);
        const QJsonObject account = m_relay.call("GET", QStringLiteral("api/compte"), sponsor).json;
        const QJsonObject referral = account.value(QStringLiteral("parrainage")).toObject();
        QCOMPARE(referral.value(QStringLiteral("amis")), QJsonValue(1));
        QCOMPARE(referral.value(QStringLiteral("amisValides")), QJsonValue(1));
        QCOMPARE(referral.value(QStringLiteral("moisGagnes")), QJsonValue(1));
        QCOMPARE(account.value(QStringLiteral("offre")).toString(), QStringLiteral("offert"));
    }

    void badUploadsAreRefusedWithAJsonBody_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        const QByteArray multipart = "multipart/form-data; boundary=limite";
        const QByteArray audio =
            part(R"(name="audio"; filename="dictee.m4a")", tone(1.0), "audio/mp4");
        const QByteArray end = "--limite--\r\n";
        QTest::newRow("not multipart") << QByteArray(R"({"audio":""})")
                                       << QByteArray("application/json") << 415 << "type-contenu";
        QTest::newRow("no boundary")
            << audio + end << QByteArray("multipart/form-data") << 400 << "formulaire";
        QTest::newRow("no audio part")
            << part(R"(name="langue")", "fr") + end << multipart << 400 << "formulaire";
        QTest::newRow("audio without a file")
            << part(R"(name="audio")", "xyz") + end << multipart << 400 << "formulaire";
        QTest::newRow("two audio parts") << audio + audio + end << multipart << 400 << "formulaire";
        QTest::newRow("unknown part")
            << audio + part(R"(name="autre")", "1") + end << multipart << 400 << "formulaire";
        QTest::newRow("missing closing boundary") << audio << multipart << 400 << "formulaire";
        QTest::newRow("cut inside the audio")
            << audio.left(audio.size() / 2) << multipart << 400 << "formulaire";
        QTest::newRow("bad language")
            << audio + part(R"(name="langue")", "FRA!") + end << multipart << 400 << "langue";
        QTest::newRow("empty audio")
            << part(R"(name="audio"; filename="dictee.m4a")", "", "audio/mp4") + end << multipart
            << 400 << "audio";
        QByteArray garbage;
        for (int i = 0; i < 30000; ++i)
            garbage.append(char((i * 7919) % 253));
        QTest::newRow("garbage audio")
            << part(R"(name="audio"; filename="dictee.m4a")", garbage, "audio/mp4") + end
            << multipart << 400 << "audio";
        QTest::newRow("oversized upload") << part(R"(name="audio"; filename="dictee.m4a")",
                                                  QByteArray(9 * 1024 * 1024, 'x'), "audio/mp4") +
                                                 end
                                          << multipart << 413 << "taille";
    }
    void badUploadsAreRefusedWithAJsonBody() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        QFETCH(int, status);
        QFETCH(QString, code);
        static const QString token = newUser();
        const auto answer = upload(token, body, contentType);
        QCOMPARE(answer.status, status);
        QVERIFY(answer.header("Content-Type").startsWith("application/json"));
        QCOMPARE(answer.errorCode(), code);
        stillServing(token);
    }

    void tooLongADictation() {
        const QString token = newUser();
        const auto answer = m_relay.dictate(token, tone(140), {}, 120000);
        QCOMPARE(answer.status, 413);
        QCOMPARE(answer.errorCode(), QStringLiteral("duree"));
    }

    // A client that announces a body and goes away in the middle of it, or
    // sends an unreadable request, costs the relay nothing.
    void brokenConnectionsLeaveTheRelayServing() {
        const QString token = newUser();
        const QList<QByteArray> requests = {
            "POST /api/dicter HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                token.toUtf8() +
                "\r\nContent-Type: multipart/form-data; boundary=limite\r\n"
                "Content-Length: 100000\r\n\r\n" +
                audioPart().left(3000),
            "POST /api/connexion/code HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
            "application/json\r\nContent-Length: 500\r\n\r\n{\"email\":",
            "NIMPORTEQUOI\r\n\r\n"};
        for (const QByteArray& request : requests) {
            QSslSocket socket;
            socket.setSslConfiguration(m_relay.sslConfiguration());
            socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(m_relay.port()));
            QVERIFY(socket.waitForEncrypted(10000));
            socket.write(request);
            QVERIFY(socket.waitForBytesWritten(10000));
            socket.disconnectFromHost();
        }
        stillServing(token);
        QVERIFY(m_relay.isRunning());
    }

    void scriptedAnswers() {
        const QString token = newUser();
        QVERIFY(m_relay.scriptNextAnswer(
            Script(QStringLiteral("api/connexion/code"))
                .withStatus(503)
                .withBody({{QStringLiteral("erreur"), QStringLiteral("envoi")}})
                .forRequests(2)));
        for (int i = 0; i < 2; ++i) {
            const auto answer =
                m_relay.sendJson("POST", QStringLiteral("api/connexion/code"),
                                 {{QStringLiteral("email"), QStringLiteral("s@example.com")}});
            QCOMPARE(answer.status, 503);
            QCOMPARE(answer.errorCode(), QStringLiteral("envoi"));
        }
        QCOMPARE(m_relay
                     .sendJson("POST", QStringLiteral("api/connexion/code"),
                               {{QStringLiteral("email"), QStringLiteral("s@example.com")}})
                     .status,
                 200);

        // Only the named method; the body and Retry-After exactly as given.
        QVERIFY(m_relay.scriptNextAnswer(
            Script(QStringLiteral("api/compte"))
                .forMethod(QStringLiteral("GET"))
                .withStatus(429)
                .withRawBody("<html>trop</html>", QStringLiteral("text/html"))
                .withRetryAfter(QStringLiteral("  120 "))));
        QCOMPARE(m_relay.call("DELETE", QStringLiteral("api/compte")).status, 401);
        const auto limited = m_relay.call("GET", QStringLiteral("api/compte"), token);
        QCOMPARE(limited.status, 429);
        QCOMPARE(limited.body, QByteArray("<html>trop</html>"));
        QCOMPARE(limited.header("Retry-After").trimmed(), QByteArray("120"));

        // An empty scripted body stays empty.
        QVERIFY(m_relay.scriptNextAnswer(Script(QStringLiteral("api/compte")).withStatus(502)));
        const auto empty = m_relay.call("GET", QStringLiteral("api/compte"), token);
        QCOMPARE(empty.status, 502);
        QVERIFY(empty.body.isEmpty());

        // A delay before the normal answer.
        QVERIFY(m_relay.scriptNextAnswer(Script(QStringLiteral("api/compte")).withDelay(600)));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), token).status, 200);
        QVERIFY(timer.elapsed() >= 550);

        // A dropped connection: no HTTP answer at all. Qt sends a request
        // again (a few times) when a connection closes without an answer, so
        // every attempt is dropped, and what is left of the script cleared.
        QVERIFY(m_relay.scriptNextAnswer(
            Script(QStringLiteral("api/dicter")).dropped().forRequests(10)));
        const auto dropped = m_relay.dictate(token, m_take);
        QCOMPARE(dropped.status, 0);
        QCOMPARE(dropped.error, QNetworkReply::RemoteHostClosedError);
        QVERIFY(m_relay.clearScriptedAnswers());
        stillServing(token);

        QVERIFY(m_relay.scriptNextAnswer(Script(QStringLiteral("api/compte")).withStatus(500)));
        QVERIFY(m_relay.clearScriptedAnswers());
        QCOMPARE(m_relay.call("GET", QStringLiteral("api/compte"), token).status, 200);
        const auto invalid = m_relay.sendJson("POST", QStringLiteral("controle/reponse"),
                                              {{QStringLiteral("statut"), 503}});
        QCOMPARE(invalid.errorCode(), QStringLiteral("json"));
    }

    void tlsTrust() {
        // A relay whose authority nothing trusts is refused by a client that
        // relies on the system store.
        RelayProcess untrusted(RelayProcess::Settings().untrusted());
        QVERIFY2(untrusted.start(), qPrintable(untrusted.errorString()));
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(
            QNetworkRequest(untrusted.origin().resolved(QUrl(QStringLiteral("/api/compte"))))));
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 20000));
        QCOMPARE(reply->error(), QNetworkReply::SslHandshakeFailedError);
        // The helper trusts it explicitly.
        QCOMPARE(untrusted.call("GET", QStringLiteral("conditions")).status, 200);

        // Under the rig, the shared authority is trusted by the system store.
        PARLOVA_REQUIRE_RIG();
        std::unique_ptr<QNetworkReply> trusted(network.get(
            QNetworkRequest(m_relay.origin().resolved(QUrl(QStringLiteral("/conditions"))))));
        QVERIFY(QTest::qWaitFor([&] { return trusted->isFinished(); }, 20000));
        QCOMPARE(trusted->error(), QNetworkReply::NoError);
    }

    void controlRoutesAreOffByDefault() {
        RelayProcess plain(RelayProcess::Settings().withoutControl());
        QVERIFY2(plain.start(), qPrintable(plain.errorString()));
        for (const auto& [method, path] : QList<QPair<QByteArray, QString>>{
                 {"GET", QStringLiteral("controle/code?email=a@b.fr")},
                 {"POST", QStringLiteral("controle/reponse")},
                 {"POST", QStringLiteral("controle/horloge")}}) {
            const auto answer = plain.call(method, path);
            QCOMPARE(answer.status, 404);
            QCOMPARE(answer.errorCode(), QStringLiteral("introuvable"));
        }
    }

    void commandEngine() {
        RelayProcess echoing(RelayProcess::Settings()
                                 .withEngine(QStringLiteral("commande"))
                                 .withArguments({QStringLiteral("--commande"),
                                                 QStringLiteral("test -s {wav} && echo \"  bonjour "
                                                                "le monde $PARLOVA_LANGUE \"")}));
        QVERIFY2(echoing.start(), qPrintable(echoing.errorString()));
        const QString token = echoing.signIn(QStringLiteral("cmd@example.com"));
        const auto answer = echoing.dictate(token, m_take, QStringLiteral("de"));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json.value(QStringLiteral("texte")).toString(),
                 QStringLiteral("bonjour le monde de"));
        QCOMPARE(answer.json.value(QStringLiteral("mots")), QJsonValue(4));

        RelayProcess missing(RelayProcess::Settings()
                                 .withEngine(QStringLiteral("commande"))
                                 .withArguments({QStringLiteral("--commande"),
                                                 QStringLiteral("/nonexistent/whisper-cli")}));
        QVERIFY2(missing.start(), qPrintable(missing.errorString()));
        const auto refused =
            missing.dictate(missing.signIn(QStringLiteral("cmd@example.com")), m_take);
        QCOMPARE(refused.status, 500);
        QCOMPARE(refused.errorCode(), QStringLiteral("configuration"));
    }
};

QTEST_GUILESS_MAIN(TestRelayDictation)
#include "tst_relaydictation.moc"
