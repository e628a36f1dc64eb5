// Two processes of one relay on one PostgreSQL base, with nginx in front of
// both as docs/relais.md sets them up: what one process decides holds in
// the other at once, a process killed under load leaves no dictation
// charged twice, and an SQLite relay moved to PostgreSQL answers the same.

#include "NginxFront.h"
#include "RelayProcess.h"
#include "SpeechSamples.h"
#include "ToolRun.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

using parlova::test::NginxFront;
using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using parlova::test::ToolRun;
using namespace Qt::StringLiterals;

class TestRelayCluster : public QObject {
    Q_OBJECT

    // Room for nginx's kept-alive connections beside the test's own.
    const QStringList m_roomy{u"--connexions-par-adresse"_s, u"64"_s};
    RelayProcess m_first{RelayProcess::Settings().onPostgres().withArguments(m_roomy)};
    RelayProcess m_second{RelayProcess::Settings().sharingWith(m_first).withArguments(m_roomy)};
    NginxFront m_front;
    QByteArray m_take;

    RelayProcess& process(int i) { return i % 2 == 0 ? m_first : m_second; }

    RelayProcess::Answer verify(RelayProcess& relay, const QString& email, const QString& code) {
        return relay.sendJson("POST", u"api/connexion/verifier"_s,
                              {{u"email"_s, email}, {u"code"_s, code}});
    }
    // A request through the front, on a connection of its own.
    QTcpSocket* throughFront(const QByteArray& request, QObject* parent) const {
        auto* socket = new QTcpSocket(parent);
        socket->connectToHost(QHostAddress::LocalHost, quint16(m_front.port()));
        socket->write(request);
        return socket;
    }
    // A dictation on a connection closed after its answer.
    QByteArray closingDictation(const QString& token) const {
        return RelayProcess::rawDictation(token, m_take, "Connection: close\r\n");
    }
    // The words of this week, as the first process reads them.
    qint64 weekWords(const QString& token) {
        return m_first.account(token)[u"semaine"_s][u"mots"_s].toInteger(-1);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_first.start(), qPrintable(m_first.errorString()));
        QVERIFY2(m_second.start(), qPrintable(m_second.errorString()));
        QVERIFY2(m_front.start({&m_first, &m_second}), qPrintable(m_front.errorString()));
        m_take = SpeechSamples::tone(1.0);
        QVERIFY(!m_take.isEmpty());
    }

    // A code sent by one process is accepted by the other; a session works on
    // both, and a sign-out or a deletion on one holds on the other at once.
    void signInAndSessionsAcrossProcesses() {
        const QString email = u"deux@example.com"_s;
        QCOMPARE(m_first.sendJson("POST", u"api/connexion/code"_s, {{u"email"_s, email}}).status,
                 200);
        const auto verified = verify(m_second, email, m_first.lastCode(email));
        QCOMPARE(verified.status, 200);
        const QString token = verified.json[u"jeton"_s].toString();
        QCOMPARE(m_second.account(token)[u"email"_s], email);
        QCOMPARE(m_first.account(token)[u"email"_s], email);

        const QString other = m_second.signIn(email);
        QCOMPARE(m_first.call("POST", u"api/deconnexion"_s, token).status, 204);
        QCOMPARE(m_second.call("GET", u"api/compte"_s, token).status, 401);
        QCOMPARE(m_first.call("GET", u"api/compte"_s, other).status, 200);
        QCOMPARE(m_second.call("DELETE", u"api/compte"_s, other).status, 204);
        QCOMPARE(m_first.call("GET", u"api/compte"_s, other).status, 401);
    }

    // Wrong guesses made on either process add up: the fifth locks the
    // address on both.
    void wrongGuessesAddUpAcrossProcesses() {
        const QString email = u"devine@example.com"_s;
        QCOMPARE(m_second.sendJson("POST", u"api/connexion/code"_s, {{u"email"_s, email}}).status,
                 200);
        const QString code = m_second.lastCode(email);
        const QString wrong = code == u"000000" ? u"111111"_s : u"000000"_s;
        for (int left = 4; left >= 0; --left) {
            const auto answer = verify(process(left), email, wrong);
            QCOMPARE(answer.refusal(), u"400 code-faux"_s);
            QCOMPARE(answer.json[u"essaisRestants"_s].toInt(-1), left);
        }
        QCOMPARE(verify(m_first, email, code).refusal(), u"429 trop-d-essais"_s);
        QCOMPARE(verify(m_second, email, code).refusal(), u"429 trop-d-essais"_s);
    }

    // One process killed while dictations go through the front: the other
    // goes on serving, and every dictation is charged once or not at all.
    void aKilledProcessChargesNothingTwice() {
        const QString token = m_first.signIn(u"panne@example.com"_s);
        // Eight words per dictation, far below the cap.
        const qint64 perDictation = 8;
        QObject load;
        std::vector<QTcpSocket*> sockets;
        for (int i = 0; i < 30; ++i)
            sockets.push_back(throughFront(closingDictation(token), &load));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return std::count_if(sockets.begin(), sockets.end(),
                                     [](QTcpSocket* s) { return s->bytesAvailable() > 0; }) >= 3;
            },
            30000));
        m_second.kill();
        int delivered = 0;
        for (QTcpSocket* socket : sockets)
            delivered += RelayProcess::answerOf(*socket, 60000).startsWith("HTTP/1.1 200") ? 1 : 0;
        const qint64 before = weekWords(token);
        QCOMPARE(before % perDictation, 0);
        QVERIFY2(before / perDictation <= delivered,
                 qPrintable(u"%1 mots, %2 dictées reçues"_s.arg(before).arg(delivered)));

        for (int i = 0; i < 6; ++i)
            QVERIFY(m_front.exchange(closingDictation(token), 30000).startsWith("HTTP/1.1 200"));
        QCOMPARE(weekWords(token), before + 6 * perDictation);

        // A dictation left either a hold or a charge, never both: the hold
        // goes in the transaction that charges. What the killed process held
        // expires after ten minutes, for accounts that exist. (The processes'
        // clocks stay together: each reads the others' holds by its own time.)
        const qint64 held =
            m_first.sql(u"SELECT COUNT(*) FROM mots_reserves"_s).value_or(u"99"_s).toLongLong();
        QVERIFY2(held + before / perDictation <= qint64(sockets.size()),
                 qPrintable(QString::number(held)));
        QCOMPARE(m_first
                     .sql(u"SELECT COUNT(*) FROM mots_reserves r LEFT JOIN comptes c ON c.id = "
                          "r.compte WHERE c.id IS NULL"_s)
                     .value_or(u"?"_s),
                 u"0"_s);
        // Tables and indexes whole, as PostgreSQL's own checker reads them.
        const ToolRun check =
            ToolRun::of(u"/usr/lib/postgresql/15/bin/pg_amcheck"_s,
                        {u"--install-missing"_s, u"--heapallindexed"_s, m_first.base()});
        QVERIFY2(check.ok(), check.out + check.err);
        QVERIFY2(m_second.start(), qPrintable(m_second.errorString()));
        QCOMPARE(m_second.account(token)[u"email"_s], u"panne@example.com"_s);
    }

    // Forty dictations of 1 000 words sent at once to both processes leave
    // a free week at most one dictation over the cap.
    void concurrentDictationsKeepTheCapAcrossProcesses() {
        const QString token = m_first.signIn(u"ruee@example.com"_s);
        const QString thousand = QStringList(1000, u"mot"_s).join(u' ');
        for (int i = 0; i < 40; ++i)
            QVERIFY(process(i).setNextTranscript(thousand));
        const int delivered =
            RelayProcess::answeredAtOnce({&m_first, &m_second}, closingDictation(token), 40);
        const qint64 words = weekWords(token);
        QVERIFY2(words >= 2000 && words <= 3000, qPrintable(QString::number(words)));
        QCOMPARE(delivered, words / 1000);
    }

    // Every account of an SQLite relay moved with --migrer-vers reads the
    // same on PostgreSQL, sessions included.
    void migrationKeepsEveryAccount() {
        RelayProcess::Settings sqlite;
        sqlite.postgres = false;
        RelayProcess old(sqlite);
        QVERIFY2(old.start(), qPrintable(old.errorString()));
        QStringList tokens{old.signIn(u"parrain@example.com"_s)};
        const QString code = old.account(tokens[0])[u"parrainage"_s][u"code"_s].toString();
        tokens << old.signIn(u"filleul@example.com"_s, code) << old.signIn(u"essai@example.com"_s);
        QVERIFY(old.setNextTranscript(u"un deux trois"_s));
        QCOMPARE(old.dictate(tokens[1], m_take).status, 200);
        QCOMPARE(old.adjustAccount({{u"email"_s, u"essai@example.com"_s},
                                    {u"offre"_s, u"essai"_s},
                                    {u"jours"_s, 7}})
                     .status,
                 200);
        const auto answers = [&](RelayProcess& relay) {
            QStringList all;
            for (const QString& token : tokens)
                all << QString::fromUtf8(QJsonDocument(relay.account(token)).toJson())
                           .replace(relay.origin().toString(), u"ORIGINE"_s);
            return all;
        };
        const QStringList before = answers(old);
        QCOMPARE(old.account(tokens[1])[u"semaine"_s][u"mots"_s], 3);
        old.stop();

        RelayProcess moved{RelayProcess::Settings().onPostgres()};
        QVERIFY2(moved.start(), qPrintable(moved.errorString()));
        moved.stop();
        QString output;
        QCOMPARE(old.runOnce({u"--migrer-vers"_s, moved.base()}, &output), 0);
        // The digests were made with the old relay's key: it moves too.
        const QString key = u"/cle-empreintes"_s;
        QVERIFY(QFile::remove(moved.dataDir() + key) &&
                QFile::copy(old.dataDir() + key, moved.dataDir() + key));
        QVERIFY2(moved.start(), qPrintable(moved.errorString()));
        QCOMPARE(answers(moved), before);
    }
};

QTEST_GUILESS_MAIN(TestRelayCluster)
#include "tst_relaycluster.moc"
