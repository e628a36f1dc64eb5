#include "relay/Options.h"

#include <QDir>
#include <QUrl>

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
        // A whole number within bounds, for the options that take one.
        const auto number = [&](int low, int high, int* target) {
            const auto text = value();
            bool ok = false;
            const int n = text ? text->toInt(&ok) : 0;
            if (!ok || n < low || n > high)
                return false;
            *target = n;
            return true;
        };
        const auto range = [&](int low, int high) {
            return QStringLiteral("%1 attend un nombre entier de %2 à %3.")
                .arg(argument)
                .arg(low)
                .arg(high);
        };
        if (argument == u"--delai-requete") {
            if (!number(1, 3600, &options.requestSeconds))
                return {std::nullopt, range(1, 3600)};
        } else if (argument == u"--inactivite") {
            if (!number(1, 600, &options.idleSeconds))
                return {std::nullopt, range(1, 600)};
        } else if (argument == u"--requetes-par-connexion") {
            if (!number(1, 100000, &options.requestsPerConnection))
                return {std::nullopt, range(1, 100000)};
        } else if (argument == u"--connexions-par-adresse") {
            if (!number(1, 10000, &options.connectionsPerAddress))
                return {std::nullopt, range(1, 10000)};
        } else if (argument == u"--sessions-jours") {
            if (!number(1, 36500, &options.sessionDays))
                return {std::nullopt, range(1, 36500)};
        } else if (argument == u"--delai-serveur") {
            if (!number(1, 600, &options.serverTimeoutSeconds))
                return {std::nullopt, range(1, 600)};
        } else if (argument == u"--origine") {
            const auto text = value();
            QUrl url(text.value_or(QString()), QUrl::StrictMode);
            if (url.path() == u"/")
                url.setPath(QString());
            if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") ||
                url.host().isEmpty() || !url.path(QUrl::FullyEncoded).isEmpty() || url.hasQuery() ||
                url.hasFragment() || !url.userInfo().isEmpty())
                return {std::nullopt, QStringLiteral("--origine attend une adresse comme "
                                                     "https://relais.example.fr (sans chemin).")};
            options.origin = url.toString(QUrl::FullyEncoded);
        } else if (argument == u"--serveur") {
            const auto text = value();
            const QUrl url(text.value_or(QString()), QUrl::StrictMode);
            if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") ||
                url.host().isEmpty())
                return {std::nullopt,
                        QStringLiteral("--serveur attend l’adresse complète de transcription "
                                       "(http:// ou https://…/audio/transcriptions).")};
            options.serverUrl = url.toString(QUrl::FullyEncoded);
        } else if (argument == u"--modele") {
            const auto text = value();
            if (!text || text->trimmed().isEmpty())
                return {std::nullopt, QStringLiteral("--modele attend un nom de modèle.")};
            options.serverModel = text->trimmed();
        } else if (argument == u"--cle-fichier") {
            const auto text = value();
            if (!text || text->isEmpty())
                return {std::nullopt, QStringLiteral("--cle-fichier attend un fichier.")};
            options.serverKeyFile = QDir(*text).absolutePath();
        } else if (argument == u"--format-serveur") {
            const auto text = value();
            if (text == u"wav")
                options.serverFormat = ServerFormat::Wav;
            else if (text == u"m4a")
                options.serverFormat = ServerFormat::Upload;
            else
                return {std::nullopt, QStringLiteral("--format-serveur attend wav ou m4a.")};
        } else if (argument == u"--port") {
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
            else if (text == u"serveur")
                options.engine = EngineKind::Server;
            else if (text == u"test")
                options.engine = EngineKind::Test;
            else
                return {std::nullopt,
                        QStringLiteral("--moteur attend pocketsphinx, commande, serveur ou test.")};
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
    if (!engineGiven && !options.serverUrl.isEmpty())
        options.engine = EngineKind::Server;
    if (options.engine == EngineKind::Server && options.serverUrl.isEmpty())
        return {std::nullopt, QStringLiteral("--moteur serveur demande --serveur URL.")};
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
        "Utilisation : parlova-relais [--port N] [--donnees DOSSIER] [--origine URL]\n"
        "                             [--moteur pocketsphinx|commande|serveur|test] …\n"
        "\n"
        "  --port N          port d’écoute sur 127.0.0.1 (8443 par défaut, 0 : un port libre)\n"
        "  --donnees DOSSIER dossier des données (comptes, autorité de certification)\n"
        "  --origine URL     adresse publique des pages et des liens (par défaut\n"
        "                    https://127.0.0.1:PORT)\n"
        "  --moteur M        moteur de transcription (pocketsphinx par défaut)\n"
        "  --commande CMD    commande qui reçoit le chemin d’un fichier WAV et écrit le texte\n"
        "  --serveur URL     adresse …/audio/transcriptions d’un serveur de transcription\n"
        "  --modele NOM      modèle demandé au serveur (champ model)\n"
        "  --cle-fichier F   fichier de la clé d’API du serveur (sinon PARLOVA_RELAIS_CLE)\n"
        "  --format-serveur  wav (16 kHz mono, par défaut) ou m4a (le fichier reçu)\n"
        "  --delai-serveur S attente maximale d’une réponse du serveur (30 s par défaut)\n"
        "  --delai-requete S durée maximale d’une requête, en-têtes et corps (30 s)\n"
        "  --inactivite S    attente maximale entre deux requêtes d’une connexion (5 s)\n"
        "  --requetes-par-connexion N  requêtes par connexion gardée ouverte (100)\n"
        "  --connexions-par-adresse N  connexions ouvertes par adresse de client (32)\n"
        "  --sessions-jours J  une session inutilisée J jours expire (180)\n"
        "  --controle        active les routes de contrôle /controle/… (pour les tests)\n"
        "  --sans-paiement   refuse les pages de paiement (paiement indisponible)\n");
}

} // namespace parlova::relay
