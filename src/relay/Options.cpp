#include "relay/Options.h"

#include <QDir>

namespace parlova::relay {

ParsedOptions Options::parse(const QStringList& arguments) {
    Options options;
    options.dataDir = defaultDataDir();
    bool engineGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments.at(++i);
        };
        if (argument == u"--port") {
            const auto text = value();
            bool ok = false;
            const int port = text ? text->toInt(&ok) : -1;
            if (!ok || port < 0 || port > 65535)
                return {std::nullopt,
                        QStringLiteral("--port attend un numéro de port (0 à 65535).")};
            options.port = port;
        } else if (argument == u"--donnees") {
            const auto text = value();
            if (!text || text->isEmpty())
                return {std::nullopt, QStringLiteral("--donnees attend un dossier.")};
            options.dataDir = QDir(*text).absolutePath();
        } else if (argument == u"--moteur") {
            const auto text = value();
            if (text == u"pocketsphinx")
                options.engine = EngineKind::PocketSphinx;
            else if (text == u"commande")
                options.engine = EngineKind::Command;
            else if (text == u"test")
                options.engine = EngineKind::Test;
            else
                return {std::nullopt,
                        QStringLiteral("--moteur attend pocketsphinx, commande ou test.")};
            engineGiven = true;
        } else if (argument == u"--commande") {
            const auto text = value();
            if (!text || text->trimmed().isEmpty())
                return {std::nullopt, QStringLiteral("--commande attend une commande.")};
            options.command = *text;
        } else if (argument == u"--controle") {
            options.control = true;
        } else if (argument == u"--sans-paiement") {
            options.paymentsEnabled = false;
        } else if (argument == u"--aide" || argument == u"--help" || argument == u"-h") {
            options.helpWanted = true;
        } else {
            return {std::nullopt, QStringLiteral("Option inconnue : %1").arg(argument)};
        }
    }
    // A command alone is enough to say which engine is wanted.
    if (!engineGiven && !options.command.isEmpty())
        options.engine = EngineKind::Command;
    if (options.engine == EngineKind::Command && options.command.isEmpty())
        return {std::nullopt, QStringLiteral("--moteur commande demande --commande CMD.")};
    return {options, {}};
}

QString Options::defaultDataDir() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir(base).filePath(QStringLiteral("parlova-relais"));
}

QString Options::usage() {
    return QStringLiteral(
        "Utilisation : parlova-relais [--port N] [--donnees DOSSIER]\n"
        "                             [--moteur pocketsphinx|commande|test] [--commande CMD]\n"
        "                             [--controle] [--sans-paiement]\n"
        "\n"
        "  --port N          port d’écoute sur 127.0.0.1 (8443 par défaut, 0 : un port libre)\n"
        "  --donnees DOSSIER dossier des données (comptes, autorité de certification)\n"
        "  --moteur M        moteur de transcription (pocketsphinx par défaut)\n"
        "  --commande CMD    commande qui reçoit le chemin d’un fichier WAV et écrit le texte\n"
        "  --controle        active les routes de contrôle /controle/… (pour les tests)\n"
        "  --sans-paiement   refuse les pages de paiement (paiement indisponible)\n");
}

} // namespace parlova::relay
