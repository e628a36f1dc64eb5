// The relay against what any client on the network can send, on 127.0.0.1:
// huge and lying uploads, dictations sent all at once, slow and greedy
// connections, forged log lines, one client spending sign-in codes and
// guesses, farmed referrals, checkout pages asked in a loop; and what its
// data folder keeps: takes after a crash, deleted addresses, keyed digests,
// the week of a deleted account, expired sessions, links planted in it.

#include "NginxFront.h"
#include "RelayProcess.h"
#include "SpeechSamples.h"
#include "relay/CommandEngine.h"
#include "relay/SignInService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

#include <sys/stat.h>

using parlova::relay::CommandEngine;
using parlova::relay::SignInService;
using parlova::test::NginxFront;
using parlova::test::RelayProcess;
using parlova::test::SpeechSamples;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

// AddressSanitizer keeps freed memory in quarantine: the relay's peak then
// says nothing about what it holds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool peakIsMeaningful = false;
#else
constexpr bool peakIsMeaningful = true;
#endif

bool boundedGrowth(qint64 kib) {
    return !peakIsMeaningful || kib < 40 * 1024;
}

// The mode bits of a path, sticky bit included.
int modeOf(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777)
                                                                     : -1;
}

} // namespace

class TestRelayAbuse : public QObject {
    Q_OBJECT

    RelayProcess m_relay{RelayProcess::Settings().withArguments(
        {u"--delai-requete"_s, u"4"_s, u"--connexions-par-adresse"_s, u"48"_s, u"--origine"_s,
         u"https://relais.example.fr"_s})};
    QByteArray m_take;

    QByteArray sql(const QString& statement) {
        return m_relay.sql(statement).value_or(QString()).toUtf8();
    }
    // A JSON POST on a connection of its own, from the given loopback address.
    RelayProcess::Answer post(const QString& from, const QByteArray& path,
                              const QJsonObject& body) {
        RelayProcess::Answer answer;
        const auto socket = m_relay.openSocket(from);
        if (!socket)
            return answer;
        const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
        socket->write("POST " + path +
                      " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                      "Content-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(json.size()) + "\r\n\r\n" + json);
        const QByteArray raw = RelayProcess::answerOf(*socket);
        const qsizetype end = raw.indexOf("\r\n\r\n");
        answer.status = raw.mid(9, 3).toInt();
        answer.json = QJsonDocument::fromJson(end < 0 ? QByteArray() : raw.mid(end + 4)).object();
        return answer;
    }
    QByteArray dictation(const QString& token, const QByteArray& headers = {}) const {
        return RelayProcess::rawDictation(token, m_take, headers);
    }
    // Signs a new account in with the referral code: the referral outcome
    // and the session token.
    QPair<QString, QString> join(const QString& email, const QString& referral) {
        m_relay.sendJson("POST", u"api/connexion/code"_s,
                         {{u"email"_s, email}, {u"parrainage"_s, referral}});
        const auto answer =
            m_relay.sendJson("POST", u"api/connexion/verifier"_s,
                             {{u"email"_s, email}, {u"code"_s, m_relay.lastCode(email)}});
        return {answer.json[u"parrainage"_s].toString(), answer.json[u"jeton"_s].toString()};
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_relay.start(), qPrintable(m_relay.errorString()));
        m_take = SpeechSamples::tone(1.0);
        QVERIFY(!m_take.isEmpty());
    }

    // A tiny WAV file that claims to last hours at 1 Hz.
    void lyingAudioHeadersHoldBoundedMemory() {
        const QString token = m_relay.signIn(u"wav@example.com"_s);
        const QByteArray wav = CommandEngine::wav(std::vector<qint16>(2048, 0), 1);
        const qint64 before = m_relay.peakMemoryKiB();
        const auto answer = m_relay.dictate(token, wav);
        QVERIFY2(answer.status == 400 || answer.status == 413, answer.body.constData());
        const qint64 growth = m_relay.peakMemoryKiB() - before;
        QVERIFY2(boundedGrowth(growth), qPrintable(QString::number(growth)));
    }

    // However many dictations arrive at once, a free week ends at most one
    // dictation over the cap.
    void concurrentDictationsKeepTheCap() {
        const QString token = m_relay.signIn(u"rush@example.com"_s);
        const QString thousand = QStringList(1000, u"mot"_s).join(u' ');
        for (int i = 0; i < 40; ++i)
            QVERIFY(m_relay.setNextTranscript(thousand));
        const int delivered =
            RelayProcess::answeredAtOnce({&m_relay}, dictation(token, "Connection: close\r\n"), 40);
        const qint64 words = m_relay.account(token)[u"semaine"_s][u"mots"_s].toInteger();
        QVERIFY2(words >= 2000 && words <= 3000, qPrintable(QString::number(words)));
        QCOMPARE(delivered, words / 1000);
    }

    // No part of a request may grow without bound: a body with no length,
    // endless headers, a form part header that never ends; a chunked upload
    // counts against the limit as it arrives, and without a token nothing of
    // it is kept.
    void unboundedRequestsHoldBoundedMemory_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<QByteArray>("status");
        const QByteArray filler(mebibyte, 'x');
        const auto upload = [](const QByteArray& authorization, const QByteArray& part) {
            return "POST /api/dicter HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n"
                   "Content-Type: multipart/form-data; boundary=limite\r\n" +
                   authorization + "\r\n" + QByteArray::number(part.size(), 16) + "\r\n" + part +
                   "\r\n";
        };
        const QByteArray part = "--limite\r\nContent-Disposition: form-data; name=\"audio\"; "
                                "filename=\"a.m4a\"";
        const QByteArray chunk = "100000\r\n" + filler + "\r\n";
        const QByteArray bearer = "Authorization: Bearer JETON\r\n";
        QTest::newRow("chunked upload without token")
            << upload({}, part + "\r\n\r\n") << chunk << QByteArray("401");
        QTest::newRow("chunked upload")
            << upload(bearer, part + "\r\n\r\n") << chunk << QByteArray("413");
        QTest::newRow("body without length")
            << QByteArray("POST /api/inconnu HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n") << filler
            << QByteArray("404");
        QByteArray headers;
        while (headers.size() < mebibyte)
            headers += "X-Remplissage: " + QByteArray(4096, 'h') + "\r\n";
        QTest::newRow("endless headers")
            << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n") << headers << QByteArray("431");
        QTest::newRow("endless part header")
            << upload(bearer, part + "; x=\"") << chunk << QByteArray("400");
    }
    void unboundedRequestsHoldBoundedMemory() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, piece);
        const QString token = m_relay.signIn(u"bornes@example.com"_s);
        const qint64 before = m_relay.peakMemoryKiB();
        const auto socket = m_relay.openSocket();
        QVERIFY(socket);
        socket->write(head.replace("JETON", token.toUtf8()));
        for (int i = 0; i < 64 && socket->state() == QAbstractSocket::ConnectedState; ++i) {
            socket->write(piece);
            (void)QTest::qWaitFor(
                [&] {
                    return socket->bytesToWrite() < mebibyte ||
                           socket->state() != QAbstractSocket::ConnectedState;
                },
                5000);
        }
        const QByteArray answer = RelayProcess::answerOf(*socket);
        QTEST(answer.mid(9, 3), "status");
        QVERIFY(answer.contains("\"erreur\""));
        const qint64 growth = m_relay.peakMemoryKiB() - before;
        QVERIFY2(boundedGrowth(growth), qPrintable(QString::number(growth)));
    }

    // Clients trickling headers from one address, kept-alive clients between
    // two requests and TLS handshakes sent a byte at a time hold nothing
    // another client needs; the tricklers lose their connections at the
    // request deadline.
    void slowClientsDoNotDelayOthers() {
        std::vector<std::unique_ptr<QSslSocket>> slow, kept;
        for (int i = 0; i < 60; ++i)
            slow.push_back(m_relay.openSocket(u"127.0.0.2"_s, false));
        for (int i = 1; i <= 64; ++i)
            kept.push_back(m_relay.openSocket(u"127.0.3.%1"_s.arg(i), false));
        QVERIFY(RelayProcess::allEncrypted(kept));
        for (const auto& socket : slow)
            socket->write("GET /api/compte HTTP/1.1\r\n");
        for (const auto& socket : kept)
            socket->write("GET /conditions HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(QTest::qWaitFor(
            [&] {
                return std::all_of(kept.begin(), kept.end(),
                                   [](const auto& s) { return s->bytesAvailable() > 0; });
            },
            10000));
        std::vector<std::unique_ptr<QTcpSocket>> dripping;
        for (int i = 0; i < 64; ++i) {
            dripping.push_back(std::make_unique<QTcpSocket>());
            QVERIFY(dripping.back()->bind(QHostAddress(u"127.0.4.%1"_s.arg(1 + i % 2))));
            dripping.back()->connectToHost(u"127.0.0.1"_s, quint16(m_relay.port()));
        }
        int line = 0;
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            for (const auto& socket : dripping)
                socket->write("\x16", 1);
            for (const auto& socket : slow)
                socket->write("X-Lent-" + QByteArray::number(++line) + ": 1\r\n");
        });
        drip.start(200);
        QTest::qWait(500);
        const auto probe = m_relay.openSocket(u"127.0.0.9"_s, false);
        probe->write("GET /conditions HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QVERIFY(RelayProcess::answerOf(*probe, 1500).startsWith("HTTP/1.1 200"));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return std::all_of(slow.begin(), slow.end(), [](const auto& s) {
                    return s->state() == QAbstractSocket::UnconnectedState;
                });
            },
            8000));
    }

    // What a refused or unwanted body holds is never taken for a request,
    // and a connection said to close is closed.
    void bodiesAreNeverReadAsRequests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        const auto hidden = [](const char* name) {
            return "GET /cachee-" + QByteArray(name) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        };
        const auto withBody = [&](const char* method, const char* name) {
            const QByteArray body = hidden(name);
            return QByteArray(method) + " /conditions HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                   "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        };
        QTest::newRow("GET") << withBody("GET", "get") << QByteArray("200");
        QTest::newRow("HEAD") << withBody("HEAD", "head") << QByteArray("200");
        QTest::newRow("OPTIONS") << withBody("OPTIONS", "options") << QByteArray("404");
        QTest::newRow("chunked POST")
            << "POST /api/connexion/code HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
               "application/json\r\nTransfer-Encoding: chunked\r\n\r\n" +
                   hidden("chunked")
            << QByteArray("411");
        QTest::newRow("oversize POST")
            << "POST /api/connexion/code HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
               "application/json\r\nContent-Length: 100000\r\n\r\n" +
                   hidden("oversize")
            << QByteArray("413");
    }
    void bodiesAreNeverReadAsRequests() {
        QFETCH(QByteArray, request);
        const auto socket = m_relay.openSocket();
        QVERIFY(socket);
        socket->write(request);
        const QByteArray answer = RelayProcess::answerOf(*socket, 3000);
        QTEST(answer.mid(9, 3), "status");
        QVERIFY(!m_relay.log().contains(u"/cachee-"_s));
        QCOMPARE(answer.count("HTTP/1.1 "), 1);
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    }

    // The same bodies through nginx, which keeps its connections to the
    // relay open and hands them to the next client: a request hidden in a
    // body would run as that client's, and its answer would go to them.
    void bodiesAreNeverReadAsRequestsBehindNginx_data() { bodiesAreNeverReadAsRequests_data(); }
    void bodiesAreNeverReadAsRequestsBehindNginx() {
        QFETCH(QByteArray, request);
        NginxFront nginx;
        QVERIFY2(nginx.start(m_relay), qPrintable(nginx.errorString()));
        // nginx waits for the whole body it was promised before it answers.
        const qsizetype length = request.indexOf("Content-Length: ");
        if (length >= 0) {
            const qsizetype sent = request.size() - request.indexOf("\r\n\r\n") - 4;
            request += QByteArray(
                request.mid(length + 16).split('\r').constFirst().toLongLong() - sent, ' ');
        }
        // Closed after its answer, so that nginx's answer is all there is.
        const QByteArray attack = nginx.exchange(request.insert(
            request.indexOf("\r\n") + 2, QByteArrayLiteral("Connection: close\r\n")));
        QCOMPARE(attack.count("HTTP/1.1 "), 1);
        // The next client, on a connection nginx kept to the relay.
        for (int i = 0; i < 4; ++i) {
            const QByteArray next = nginx.exchange(
                "GET /confidentialite HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            QVERIFY(next.startsWith("HTTP/1.1 200"));
            QVERIFY(next.contains("<title>Confidentialité"));
        }
        QVERIFY(!m_relay.log().contains(u"/cachee-"_s));
    }

    void pipelinedRequestsAreAnsweredInOrder() {
        const auto socket = m_relay.openSocket();
        QVERIFY(socket);
        socket->write("GET /conditions HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                      "GET /confidentialite HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                      "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        const QString answer = QString::fromUtf8(RelayProcess::answerOf(*socket, 5000));
        QCOMPARE(answer.count(u"HTTP/1.1 200"_s), 3);
        const qsizetype terms = answer.indexOf(u"<title>Conditions"_s);
        const qsizetype privacy = answer.indexOf(u"<title>Confidentialité"_s);
        QVERIFY(terms >= 0 && terms < privacy && privacy < answer.indexOf(u"<title>Relais"_s));
    }

    // Words are charged for an answer that went out, not for one nobody took.
    void goneClientsAreNotCharged() {
        const QString token = m_relay.signIn(u"parti@example.com"_s);
        QVERIFY(m_relay.setNextTranscript(u"un deux trois"_s));
        RelayProcess::ScriptedAnswer slow(u"api/dicter"_s);
        slow.delayMs = 3000;
        QVERIFY(m_relay.scriptNextAnswer(slow));
        const auto socket = m_relay.openSocket();
        QVERIFY(socket);
        socket->write(dictation(token));
        QTest::qWait(1000);
        socket->abort();
        QVERIFY(QTest::qWaitFor([&] { return m_relay.log().contains(u"Dictée non facturée"_s); },
                                6000));
        QCOMPARE(m_relay.account(token)[u"semaine"_s][u"mots"_s], 0);
    }

    void controlCharactersCannotForgeLogLines() {
        const auto socket = m_relay.openSocket();
        QVERIFY(socket);
        socket->write("GET /x%0d%0a2026-12-06%2009:00:00%20Code%20de%20connexion%20pour%20"
                      "admin@example.com%20:%20999999%25s%251 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      "Connection: close\r\n\r\n");
        QVERIFY(RelayProcess::answerOf(*socket).startsWith("HTTP/1.1 404"));
        const QString log = m_relay.log();
        QVERIFY(log.contains(u"GET /x\\x0d\\x0a2026-12-06 09:00:00 Code de connexion pour "
                             "admin@example.com : 999999%s%1 404"_s));
        QVERIFY(!QRegularExpression(u"^\\S+ \\S+ Code de connexion pour admin@"_s,
                                    QRegularExpression::MultilineOption)
                     .match(log)
                     .hasMatch());
    }

    // Page and link addresses come from --origine, never from the request.
    void linksUseTheConfiguredOrigin() {
        const QString token = m_relay.signIn(u"origin@example.com"_s);
        const auto answer = m_relay.send(
            "GET", u"api/compte"_s, {},
            {{"Authorization", "Bearer " + token.toUtf8()}, {"Host", "evil.example.com"}});
        QCOMPARE(answer.json[u"liens"_s][u"conditions"_s],
                 u"https://relais.example.fr/conditions"_s);
        const auto checkout =
            m_relay.send("POST", u"api/abonnement/paiement"_s, R"({"periode":"mensuel"})",
                         {{"Authorization", "Bearer " + token.toUtf8()},
                          {"Content-Type", "application/json"},
                          {"Host", "evil.example.com"}});
        QVERIFY(checkout.json[u"url"_s].toString().startsWith(
            u"https://relais.example.fr/paiement/"_s));
    }

    // Deleting an account ends all its sessions and its referral link and
    // leaves no row naming the address; its week's words stay counted until
    // the week ends.
    void deletionForgetsTheAddressButNotTheWeek() {
        const QString email = u"gone@example.com"_s;
        const QString token = m_relay.signIn(email);
        const QString other = m_relay.signIn(email);
        const QString oldCode = m_relay.account(token)[u"parrainage"_s][u"code"_s].toString();
        QVERIFY(m_relay.advanceClock(
            m_relay.now().secsTo(QDateTime::fromString(
                m_relay.account(token)[u"semaine"_s][u"reinitialisation"_s].toString(),
                Qt::ISODate)) +
            5));
        QCOMPARE(m_relay.adjustAccount({{u"email"_s, email}, {u"mots"_s, 2000}}).status, 200);
        QCOMPARE(m_relay.sendJson("POST", u"api/connexion/code"_s, {{u"email"_s, email}}).status,
                 200);
        const auto deleted = m_relay.call("DELETE", u"api/compte"_s, token);
        QCOMPARE(deleted.status, 204);
        QVERIFY(deleted.body.isEmpty());
        for (const QString& session : {token, other})
            QCOMPARE(m_relay.call("GET", u"api/compte"_s, session).status, 401);
        QCOMPARE(m_relay.call("DELETE", u"api/compte"_s, token).status, 401);
        QCOMPARE(m_relay.call("GET", u"r/"_s + oldCode).status, 404);
        const QByteArray rows = sql(u".dump"_s);
        QVERIFY(rows.contains("CREATE TABLE"));
        QVERIFY(!rows.contains(email.toUtf8()));

        // Signing in again starts a new account.
        const QString again = m_relay.signIn(email);
        QVERIFY(m_relay.account(again)[u"parrainage"_s][u"code"_s] != QJsonValue(oldCode));
        QCOMPARE(m_relay.account(again)[u"semaine"_s][u"mots"_s], 2000);
        QCOMPARE(m_relay.dictate(again, m_take).refusal(), u"402 quota"_s);
    }

    // A copy of the database without the key file gives away no code.
    void codeDigestsNeedTheKey() {
        const QString email = u"digest@example.com"_s;
        QCOMPARE(m_relay.sendJson("POST", u"api/connexion/code"_s, {{u"email"_s, email}}).status,
                 200);
        const QByteArray code = m_relay.lastCode(email).toUtf8();
        const QByteArray stored = sql(u"SELECT code FROM codes WHERE email = '%1'"_s.arg(email));
        QFile keyFile(m_relay.dataDir() + u"/cle-empreintes"_s);
        QCOMPARE(keyFile.permissions().toInt() & 0x77, 0);
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        const QByteArray message = email.toUtf8() + ':' + code;
        QCOMPARE(stored, QMessageAuthenticationCode::hash(message, keyFile.readAll(),
                                                          QCryptographicHash::Sha256)
                             .toHex());
        QVERIFY(stored != QCryptographicHash::hash(message, QCryptographicHash::Sha256).toHex());
    }

    void unusedSessionsExpire() {
        const QString used = m_relay.signIn(u"sessions@example.com"_s);
        const QString idle = m_relay.signIn(u"sessions@example.com"_s);
        QVERIFY(m_relay.advanceClock(100 * 24 * 3600));
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, used).status, 200);
        QVERIFY(m_relay.advanceClock(100 * 24 * 3600));
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, used).status, 200);
        QCOMPARE(m_relay.call("GET", u"api/compte"_s, idle).refusal(), u"401 session"_s);
    }

    // One client can neither spend everybody's codes nor lock anyone out:
    // its code requests and wrong guesses count against itself, and a code
    // already sent stays valid when more are asked for.
    void signInCannotBeDeniedByOneClient() {
        const QString attacker = u"127.0.0.3"_s;
        const QString victim = u"victime@example.com"_s;
        const auto code = [&](const QString& from, const QString& email) {
            return post(from, "/api/connexion/code", {{u"email"_s, email}});
        };
        QCOMPARE(code(u"127.0.0.1"_s, victim).status, 200);
        const QString sent = m_relay.lastCode(victim);
        QCOMPARE(code(attacker, victim).status, 200);
        QString wrong = u"000000"_s;
        while (wrong == sent || wrong == m_relay.lastCode(victim))
            wrong = QString::number(wrong.toInt() + 111111);
        const auto guess = [&](const QString& from, const QString& guessed) {
            return post(from, "/api/connexion/verifier",
                        {{u"email"_s, victim}, {u"code"_s, guessed}});
        };
        for (int i = 0; i < 5; ++i)
            QCOMPARE(guess(attacker, wrong).refusal(), u"400 code-faux"_s);
        QCOMPARE(guess(attacker, wrong).refusal(), u"429 trop-d-essais"_s);
        int codes = 1;
        while (codes < 40 && code(attacker, u"hasard%1@example.com"_s.arg(codes)).status == 200)
            ++codes;
        QCOMPARE(codes, SignInService::maxCodesPerHourPerClient);
        QCOMPARE(code(u"127.0.0.1"_s, u"passant@example.com"_s).status, 200);
        QCOMPARE(guess(u"127.0.0.1"_s, sent).status, 200);
    }

    // Referrals count each mailbox once, and earn at most twelve months a
    // year, each after the friend's first dictation (a second earns nothing).
    void referralsCannotBeFarmed() {
        // A fresh hour for this client's code requests.
        QVERIFY(m_relay.advanceClock(SignInService::requestWindow));
        const QString sponsor = m_relay.signIn(u"parrain@example.com"_s);
        const QString code = m_relay.account(sponsor)[u"parrainage"_s][u"code"_s].toString();
        QStringList friends = {u"mallory+1@example.com"_s, u"mallory+2@example.com"_s,
                               u"mallory@example.com"_s};
        for (int i = 1; i <= 13; ++i)
            friends << u"ami%1@example.com"_s.arg(i);
        QStringList outcomes;
        for (const QString& email : friends) {
            const auto [outcome, token] = join(email, code);
            outcomes << outcome;
            QCOMPARE(m_relay.dictate(token, m_take).status, 200);
            QCOMPARE(m_relay.dictate(token, m_take).status, 200);
            if (outcomes.size() == 1)
                QCOMPARE(m_relay.account(sponsor)[u"parrainage"_s][u"moisGagnes"_s], 1);
        }
        QCOMPARE(outcomes.mid(0, 3), QStringList({u"applique"_s, u"refuse"_s, u"refuse"_s}));
        QCOMPARE(outcomes.count(u"applique"_s), 14);
        const QJsonObject rewarded = m_relay.account(sponsor);
        const QJsonValue referral = rewarded[u"parrainage"_s];
        QCOMPARE(referral[u"amis"_s], 14);
        QCOMPARE(referral[u"amisValides"_s], 14);
        QCOMPARE(referral[u"moisGagnes"_s], 12);
        // Each month adds to the gifted ones already running.
        QCOMPARE(rewarded[u"offre"_s], u"offert"_s);
        const qint64 days = m_relay.now().daysTo(
            QDateTime::fromString(rewarded[u"proJusquAu"_s].toString(), Qt::ISODate));
        QVERIFY2(days >= 360 && days <= 372, qPrintable(QString::number(days)));
    }

    // However often an account asks, it holds one open checkout page per
    // period.
    void checkoutPagesDoNotPileUp() {
        const QString token = m_relay.signIn(u"boucle@example.com"_s);
        QSet<QString> pages;
        for (int i = 0; i < 20; ++i)
            pages << m_relay
                         .sendJson("POST", u"api/abonnement/paiement"_s,
                                   {{u"periode"_s, u"mensuel"_s}}, token)
                         .json[u"url"_s]
                         .toString();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(sql(u"SELECT COUNT(*) FROM pages JOIN comptes ON comptes.id = pages.compte "
                     "WHERE comptes.email = 'boucle@example.com'"_s),
                 "1");
    }

    // Besides five an hour per mail address and thirty per client, the whole
    // relay sends 600 codes an hour: it takes twenty clients to spend them.
    void codeRequestsHaveARelayWideLimit() {
        QVERIFY(m_relay.advanceClock(SignInService::requestWindow));
        int sent = 0;
        for (int client = 10; client < 30; ++client)
            for (int i = 0; i < SignInService::maxCodesPerHourPerClient; ++i)
                sent += post(u"127.0.0.%1"_s.arg(client), "/api/connexion/code",
                             {{u"email"_s, u"foule%1-%2@example.com"_s.arg(client).arg(i)}})
                            .status == 200;
        QCOMPARE(sent, SignInService::maxCodesPerHourAll);
        QCOMPARE(
            post(u"127.0.0.30"_s, "/api/connexion/code", {{u"email"_s, u"nouveau@example.com"_s}})
                .refusal(),
            u"429 trop-de-codes"_s);
    }

    // Last: stops the relay while slow clients hold connections.
    void sigtermStopsWithinFiveSeconds() {
        std::vector<std::unique_ptr<QSslSocket>> slow;
        for (int i = 0; i < 30; ++i)
            slow.push_back(m_relay.openSocket(u"127.0.0.2"_s));
        for (const auto& socket : slow)
            socket->write("GET /api/compte HTTP/1.1\r\n");
        QTest::qWait(300);
        QElapsedTimer stopping;
        stopping.start();
        m_relay.stop();
        QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
        QVERIFY(m_relay.log().contains(u"Relais arrêté."_s));
    }

    // A take on disk when the relay is killed is gone at the next start.
    void takesLeftByACrashAreErased() {
        RelayProcess relay(RelayProcess::Settings()
                               .withEngine(u"commande"_s)
                               .withArguments({u"--commande"_s, u"sleep 3; echo"_s}));
        QVERIFY2(relay.start(), qPrintable(relay.errorString()));
        const QDir takes(relay.dataDir() + u"/dictees"_s);
        QCOMPARE(relay.dictate(relay.signIn(u"crash@example.com"_s), m_take, {}, 1000).status, 0);
        QVERIFY(QTest::qWaitFor([&] { return takes.entryList(QDir::Files).size() == 1; }, 3000));
        relay.kill();
        QVERIFY2(relay.start(), qPrintable(relay.errorString()));
        QVERIFY(takes.entryList(QDir::Files).isEmpty());
        QCOMPARE(QFileInfo(takes.path()).permissions().toInt() & 0x77, 0);
    }

    // A dictees/ link is refused at start rather than followed, and a shared
    // data folder keeps its mode and sticky bit.
    void dataFolderLinksAreNotFollowed() {
        QTemporaryDir scratch;
        const QString shared = scratch.filePath(u"partage"_s);
        const QString other = scratch.filePath(u"autre"_s);
        QVERIFY(QDir().mkpath(shared) && QDir().mkpath(other));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const int otherMode = modeOf(other);
        QFile kept(other + u"/a-garder.wav"_s);
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.close();
        QVERIFY(QFile::link(other, shared + u"/dictees"_s));
        RelayProcess relay(RelayProcess::Settings().withArguments({u"--donnees"_s, shared}));
        QVERIFY(!relay.start());
        QVERIFY2(relay.log().contains(u"dictees est un lien symbolique"_s),
                 qPrintable(relay.log()));
        QVERIFY(kept.exists());
        QCOMPARE(modeOf(other), otherMode);

        QVERIFY(QFile::remove(shared + u"/dictees"_s));
        QVERIFY2(relay.start(), qPrintable(relay.errorString()));
        relay.stop();
        QCOMPARE(modeOf(shared), 01777);
        QCOMPARE(modeOf(shared + u"/dictees"_s), 0700);
    }
};

QTEST_GUILESS_MAIN(TestRelayAbuse)
#include "tst_relayabuse.moc"
