// Dictation against a running relay, over HTTPS: the multipart form and the
// answer, the free week's cap and its Monday reset, every kind of bad upload
// (each refused with a JSON error body while the relay keeps serving), the
// control routes being off by default, and the external-command engine.

#include "RelayProcess.h"
#include "SpeechSamples.h"

#include <QDateTime>
#include <QDir>
#include <QTest>
#include <QTimeZone>

using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

class TestRelayDictation : public QObject {
    Q_OBJECT

    RelayProcess m_relay;
    QByteArray m_take;
    int m_serial = 0;

    QString newUser(QString* email = nullptr) {
        const QString address = u"voice%1@example.com"_s.arg(++m_serial);
        if (email)
            *email = address;
        return m_relay.signIn(address);
    }

    // A raw multipart upload with the given body.
    RelayProcess::Answer
    upload(const QString& token, const QByteArray& body,
           const QByteArray& contentType = "multipart/form-data; boundary=limite") {
        return m_relay.send(
            "POST", u"api/dicter"_s, body,
            {{"Authorization", "Bearer " + token.toUtf8()}, {"Content-Type", contentType}});
    }

    static QByteArray part(const QByteArray& disposition, const QByteArray& content,
                           const QByteArray& type = {}) {
        QByteArray bytes = "--limite\r\nContent-Disposition: form-data; " + disposition + "\r\n";
        if (!type.isEmpty())
            bytes += "Content-Type: " + type + "\r\n";
        return bytes + "\r\n" + content + "\r\n";
    }
    static QByteArray audioPart(const QByteArray& bytes) {
        return part(R"(name="audio"; filename="dictee.m4a")", bytes, "audio/mp4");
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        m_take = SpeechSamples::tone(1.5);
        QVERIFY(!m_take.isEmpty());
    }

    void dictationAnswersTextWordsAndWeek() {
        const QString token = newUser();
        // Runs of blanks fold to one space; French no-break spaces stay.
        QVERIFY(m_relay.setNextTranscript(u"  Bonjour,\n je dicte\u00a0: un texte.\n"_s));
        const auto answer = m_relay.dictate(token, m_take, u"fr"_s);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json.keys(), (QStringList{u"mots"_s, u"semaine"_s, u"texte"_s}));
        QCOMPARE(answer.json[u"texte"_s], u"Bonjour, je dicte\u00a0: un texte."_s);
        QCOMPARE(answer.json[u"mots"_s], 5);
        const QJsonObject week = answer.json[u"semaine"_s].toObject();
        QCOMPARE(week[u"mots"_s], 5);
        QCOMPARE(week[u"plafond"_s], 2000);
        QCOMPARE(week[u"reste"_s], 1995);
        QCOMPARE(week, m_relay.account(token)[u"semaine"_s].toObject());

        // Without a language part, and with silence: no words, nothing counted.
        QVERIFY(m_relay.setNextTranscript(QString()));
        const auto silent = m_relay.dictate(token, m_take);
        QCOMPARE(silent.status, 200);
        QCOMPARE(silent.json[u"texte"_s], QString());
        QCOMPARE(silent.json[u"mots"_s], 0);
        QCOMPARE(silent.json[u"semaine"_s][u"mots"_s], 5);
    }

    // Runs on the relay's clock alone: it first moves to the start of a week,
    // so that a real Monday 00:00 in Paris during the run changes nothing.
    void weeklyCapAndMondayReset() {
        QString email;
        const QString token = newUser(&email);
        const auto weekReset = [&] {
            return QDateTime::fromString(m_relay.call("GET", u"api/compte"_s, token)
                                             .json[u"semaine"_s][u"reinitialisation"_s]
                                             .toString(),
                                         Qt::ISODate);
        };
        QVERIFY(m_relay.advanceClock(m_relay.now().secsTo(weekReset()) + 5));
        m_relay.adjustAccount({{u"email"_s, email}, {u"mots"_s, 1990}});
        // A dictation that crosses the cap is still delivered.
        QVERIFY(m_relay.setNextTranscript(QStringList(25, u"mot"_s).join(u' ')));
        const auto last = m_relay.dictate(token, m_take);
        QCOMPARE(last.status, 200);
        const QJsonObject week = last.json.value(u"semaine"_s).toObject();
        QCOMPARE(week.value(u"mots"_s), QJsonValue(2015));
        QCOMPARE(week.value(u"reste"_s), QJsonValue(0));

        const auto refused = m_relay.dictate(token, m_take);
        QCOMPARE(refused.refusal(), u"402 quota"_s);
        const QString reset = refused.json.value(u"reinitialisation"_s).toString();
        QCOMPARE(reset, week.value(u"reinitialisation"_s).toString());
        const QDateTime resetAt = QDateTime::fromString(reset, Qt::ISODate);
        QCOMPARE(resetAt.toTimeZone(QTimeZone("Europe/Paris")).date().dayOfWeek(), 1);

        // Gifted Pro has no cap.
        m_relay.adjustAccount({{u"email"_s, email}, {u"offre"_s, u"essai"_s}, {u"jours"_s, 7}});
        const auto pro = m_relay.dictate(token, m_take);
        QCOMPARE(pro.status, 200);
        QVERIFY(pro.json[u"semaine"_s][u"reste"_s].isNull());
        m_relay.adjustAccount({{u"email"_s, email}, {u"offre"_s, u"gratuit"_s}});
        QCOMPARE(m_relay.dictate(token, m_take).status, 402);

        // Monday 00:00 in Paris: the count starts again.
        QVERIFY(m_relay.advanceClock(m_relay.now().secsTo(resetAt) + 1));
        QVERIFY(m_relay.setNextTranscript(u"mot mot mot"_s));
        const auto monday = m_relay.dictate(token, m_take);
        QCOMPARE(monday.status, 200);
        QCOMPARE(monday.json[u"semaine"_s][u"mots"_s], QJsonValue(3));
    }

    void badUploadsAreRefusedWithAJsonBody_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char* name, const QByteArray& body, const char* refusal,
                            const QByteArray& type = "multipart/form-data; boundary=limite") {
            QTest::newRow(name) << body << type << QString::fromLatin1(refusal);
        };
        const QByteArray take = audioPart(SpeechSamples::tone(1.0)), end = "--limite--\r\n";
        QByteArray garbage;
        for (int i = 0; i < 30000; ++i)
            garbage.append(char((i * 7919) % 253));
        row("not multipart", R"({"audio":""})", "415 type-contenu", "application/json");
        row("no audio part", part(R"(name="langue")", "fr") + end, "400 formulaire");
        row("cut inside the audio", take.left(take.size() / 2), "400 formulaire");
        row("bad language", take + part(R"(name="langue")", "FRA!") + end, "400 langue");
        row("empty audio", audioPart({}) + end, "400 audio");
        row("garbage audio", audioPart(garbage) + end, "400 audio");
        row("oversized upload", audioPart(QByteArray(9 * 1024 * 1024, 'x')) + end, "413 taille");
        row("too long", audioPart(SpeechSamples::tone(140)) + end, "413 duree");
    }
    void badUploadsAreRefusedWithAJsonBody() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        static const QString token = newUser();
        const auto answer = upload(token, body, contentType);
        QTEST(answer.refusal(), "refusal");
        QVERIFY(answer.header("Content-Type").startsWith("application/json"));
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, token).status, 200);
    }

    void controlRoutesAreOffByDefault() {
        RelayProcess plain(RelayProcess::Settings().withoutControl());
        QVERIFY2(plain.start(), qPrintable(plain.errorString()));
        for (const auto& [method, path] :
             QList<QPair<QByteArray, QString>>{{"GET", u"controle/code?email=a@b.fr"_s},
                                               {"POST", u"controle/reponse"_s},
                                               {"POST", u"controle/horloge"_s}}) {
            const auto answer = plain.call(method, path);
            QCOMPARE(answer.refusal(), u"404 introuvable"_s);
        }
    }

    // The command gets the take as a WAV file, gone once read, and the
    // language. Its exit code decides: a failed transcription is a 503 that
    // charges no words, a missing command is the relay's own configuration.
    void commandEngine() {
        RelayProcess echoing(
            RelayProcess::Settings()
                .withEngine(u"commande"_s)
                .withArguments({u"--commande"_s, u"[ \"$(head -c 4 {wav})\" = RIFF ] && [ "
                                                 "\"$PARLOVA_LANGUE\" != zz ] && echo \"  "
                                                 "bonjour le monde $PARLOVA_LANGUE \""_s}));
        QVERIFY2(echoing.start(), qPrintable(echoing.errorString()));
        const QString token = echoing.signIn(u"cmd@example.com"_s);
        const auto answer = echoing.dictate(token, m_take, u"de"_s);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json.value(u"texte"_s).toString(), u"bonjour le monde de"_s);
        QCOMPARE(answer.json.value(u"mots"_s), QJsonValue(4));
        QCOMPARE(echoing.dictate(token, m_take, u"zz"_s).refusal(), u"503 transcription"_s);
        QCOMPARE(echoing.account(token)[u"semaine"_s][u"mots"_s], 4);
        QVERIFY(QDir(echoing.dataDir() + u"/dictees"_s).entryList(QDir::Files).isEmpty());

        RelayProcess missing(RelayProcess::Settings()
                                 .withEngine(u"commande"_s)
                                 .withArguments({u"--commande"_s, u"/nonexistent/whisper-cli"_s}));
        QVERIFY2(missing.start(), qPrintable(missing.errorString()));
        const auto refused = missing.dictate(missing.signIn(u"cmd@example.com"_s), m_take);
        QCOMPARE(refused.refusal(), u"500 configuration"_s);
    }
};

QTEST_GUILESS_MAIN(TestRelayDictation)
#include "tst_relaydictation.moc"
