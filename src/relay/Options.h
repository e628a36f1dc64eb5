#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace parlova::relay {

// Which transcription engine turns a dictation's audio into text.
enum class EngineKind { PocketSphinx, Command, Test };

struct ParsedOptions;

// The command line of parlova-relais:
//   parlova-relais [--port N] [--donnees DIR] [--moteur pocketsphinx|commande|test]
//                  [--commande CMD] [--controle] [--sans-paiement]
class Options {
public:
    static constexpr int defaultPort = 8443;

    int port = defaultPort;
    QString dataDir;
    EngineKind engine = EngineKind::PocketSphinx;
    QString command;
    bool control = false;
    bool paymentsEnabled = true;
    bool helpWanted = false;

    // The options of an argument list (program name excluded), or a French
    // message telling what is wrong with it.
    static ParsedOptions parse(const QStringList& arguments);

    // The data folder used when --donnees is absent: $XDG_DATA_HOME/parlova-relais,
    // else ~/.local/share/parlova-relais.
    static QString defaultDataDir();

    static QString usage();
};

struct ParsedOptions {
    std::optional<Options> options;
    QString error;
};

} // namespace parlova::relay
