#pragma once

#include "relay/Outcome.h"

#include <QString>
#include <QStringList>

namespace parlova::relay {

// Which transcription engine turns a dictation's audio into text.
enum class EngineKind { PocketSphinx, Command, Server, Test };

// What the speech-server engine sends: the decoded take as 16 kHz mono WAV,
// or the uploaded file unchanged.
enum class ServerFormat { Wav, Upload };

// The command line of parlova-relais:
//   parlova-relais [--port N] [--ecoute ADRESSE] [--donnees DIR] [--origine URL]
//                  [--base URI] [--secrets DIR] [--preparer-secrets] [--migrer-vers URI]
//                  [--moteur pocketsphinx|commande|serveur|test] [--commande CMD]
//                  [--serveur URL] [--modele NOM] [--cle-fichier FICHIER]
//                  [--format-serveur wav|m4a] [--delai-serveur S]
//                  [--delai-requete S] [--inactivite S] [--requetes-par-connexion N]
//                  [--connexions-par-adresse N] [--sessions-jours J]
//                  [--controle] [--sans-paiement]
class Options {
public:
    static constexpr int defaultPort = 8443;

    int port = defaultPort;
    QString listenAddress = QStringLiteral("127.0.0.1");
    QString dataDir;
    // The PostgreSQL base several relay processes share; empty: SQLite in
    // the data folder.
    QString base;
    // Where the keyed digests' key and the certificate authority are: files
    // that every process of one relay shares (the data folder by default).
    QString secretsDir;
    bool prepareSecrets = false;
    // A PostgreSQL base to copy the data folder's SQLite base into.
    QString migrateTo;
    EngineKind engine = EngineKind::PocketSphinx;
    QString command;
    // The public address of the relay's pages and links; empty: the
    // relay's own loopback address.
    QString origin;

    // The speech-server engine: the transcription address, the model to
    // name, where the API key comes from, what is sent and how long to wait.
    QString serverUrl;
    QString serverModel;
    QString serverKeyFile;
    ServerFormat serverFormat = ServerFormat::Wav;
    int serverTimeoutSeconds = 30;

    // What one client may hold: a whole request (headers and body) within
    // this many seconds, this long between two requests on a kept-alive
    // connection, this many requests per connection, this many open
    // connections per address.
    int requestSeconds = 30;
    int idleSeconds = 5;
    int requestsPerConnection = 100;
    int connectionsPerAddress = 32;
    // A session unused for this many days expires.
    int sessionDays = 180;

    bool control = false;
    bool paymentsEnabled = true;
    bool helpWanted = false;

    // The options of an argument list (program name excluded), or a French
    // message telling what is wrong with it.
    static Outcome<Options, QString> parse(const QStringList& arguments);

    // The data folder used when --donnees is absent: $XDG_DATA_HOME/parlova-relais,
    // else ~/.local/share/parlova-relais.
    static QString defaultDataDir();
    QString secretsFolder() const { return secretsDir.isEmpty() ? dataDir : secretsDir; }

    static QString usage();
};

} // namespace parlova::relay
