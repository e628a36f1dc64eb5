#include "relay/Options.h"

#include "relay/PostgresDatabase.h"

#include <QCommandLineParser>
#include <QDir>
#include <QHostAddress>
#include <QMap>
#include <QUrl>

#include <optional>

namespace parlova::relay {

namespace {

// The options that take a value, by their long name.
const QStringList valueOptions = {QStringLiteral("port"),
                                  QStringLiteral("donnees"),
                                  QStringLiteral("origine"),
                                  QStringLiteral("moteur"),
                                  QStringLiteral("commande"),
                                  QStringLiteral("serveur"),
                                  QStringLiteral("modele"),
                                  QStringLiteral("cle-fichier"),
                                  QStringLiteral("format-serveur"),
                                  QStringLiteral("delai-serveur"),
                                  QStringLiteral("delai-requete"),
                                  QStringLiteral("inactivite"),
                                  QStringLiteral("requetes-par-connexion"),
                                  QStringLiteral("connexions-par-adresse"),
                                  QStringLiteral("sessions-jours"),
                                  QStringLiteral("base"),
                                  QStringLiteral("ecoute"),
                                  QStringLiteral("secrets"),
                                  QStringLiteral("migrer-vers")};
const QStringList flagOptions = {QStringLiteral("controle"), QStringLiteral("sans-paiement"),
                                 QStringLiteral("preparer-secrets"), QStringLiteral("help"),
                                 QStringLiteral("aide")};

// The first argument the parser could not place, as the user typed it:
// QCommandLineParser's own messages are in English and name no position.
std::optional<QString> firstUnknown(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == u"--" || !argument.startsWith(u'-') || argument.size() == 1)
            return argument;
        if (argument.startsWith(u"--")) {
            const QString name = argument.mid(2).section(u'=', 0, 0);
            const bool withValue = argument.contains(u'=');
            if (valueOptions.contains(name)) {
                if (!withValue)
                    ++i;
                continue;
            }
            if (flagOptions.contains(name) && !withValue)
                continue;
            return argument;
        }
        if (argument != u"-h")
            return argument;
    }
    return std::nullopt;
}

} // namespace

Outcome<Options, QString> Options::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    for (const QString& name : valueOptions)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("valeur")));
    parser.addOption(QCommandLineOption(QStringLiteral("controle")));
    parser.addOption(QCommandLineOption(QStringLiteral("sans-paiement")));
    parser.addOption(QCommandLineOption(QStringLiteral("preparer-secrets")));
    parser.addOption(QCommandLineOption(
        QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("aide")}));

    Options options;
    options.dataDir = defaultDataDir();
    const bool parsed = parser.parse(QStringList(QStringLiteral("parlova-relais")) + arguments);
    if (const auto unknown = firstUnknown(arguments))
        return QStringLiteral("Option inconnue : %1").arg(*unknown);
    // What is left is an option given last without its value: each option's
    // own message says what it expects.
    const auto given = [&](const QString& name) {
        return !parsed ? arguments.last() == QStringLiteral("--") + name : parser.isSet(name);
    };
    const auto values = [&](const QString& name) {
        return !parsed ? QStringList{QString()} : parser.values(name);
    };
    const auto check = [&](const QString& name, const auto& accept) -> std::optional<QString> {
        if (!given(name))
            return std::nullopt;
        for (const QString& text : values(name))
            if (auto refusal = accept(text, parsed))
                return refusal;
        return std::nullopt;
    };
    // A whole number within bounds, for the options that take one.
    const auto number = [&](const QString& name, int low, int high, int* target) {
        return check(name, [&](const QString& text, bool present) -> std::optional<QString> {
            bool ok = false;
            const int n = present ? text.toInt(&ok) : 0;
            if (!ok || n < low || n > high)
                return QStringLiteral("--%1 attend un nombre entier de %2 à %3.")
                    .arg(name)
                    .arg(low)
                    .arg(high);
            *target = n;
            return std::nullopt;
        });
    };
    // A folder or a file, made absolute.
    const auto path = [&](const QString& name, const QString& what, QString* target) {
        return check(name, [&](const QString& text, bool) -> std::optional<QString> {
            if (text.isEmpty())
                return QStringLiteral("--%1 attend %2.").arg(name, what);
            *target = QDir(text).absolutePath();
            return std::nullopt;
        });
    };
    // A PostgreSQL connection URI, for --base and --migrer-vers.
    const auto base = [&](const QString& name, QString* target) {
        return check(name, [&](const QString& text, bool) -> std::optional<QString> {
            if (!PostgresDatabase::isUri(text))
                return QStringLiteral("--%1 attend une adresse postgresql://…").arg(name);
            *target = text;
            return std::nullopt;
        });
    };
    bool engineGiven = false;
    const std::optional<QString> refusals[] = {
        number(QStringLiteral("delai-requete"), 1, 3600, &options.requestSeconds),
        number(QStringLiteral("inactivite"), 1, 600, &options.idleSeconds),
        number(QStringLiteral("requetes-par-connexion"), 1, 100000, &options.requestsPerConnection),
        number(QStringLiteral("connexions-par-adresse"), 1, 10000, &options.connectionsPerAddress),
        number(QStringLiteral("sessions-jours"), 1, 36500, &options.sessionDays),
        number(QStringLiteral("delai-serveur"), 1, 600, &options.serverTimeoutSeconds),
        check(QStringLiteral("origine"),
              [&](const QString& text, bool) -> std::optional<QString> {
                  QUrl url(text, QUrl::StrictMode);
                  if (url.path() == u"/")
                      url.setPath(QString());
                  if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") ||
                      url.host().isEmpty() || !url.path(QUrl::FullyEncoded).isEmpty() ||
                      url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
                      return QStringLiteral("--origine attend une adresse comme "
                                            "https://relais.example.fr (sans chemin).");
                  options.origin = url.toString(QUrl::FullyEncoded);
                  return std::nullopt;
              }),
        check(QStringLiteral("serveur"),
              [&](const QString& text, bool) -> std::optional<QString> {
                  const QUrl url(text, QUrl::StrictMode);
                  if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") ||
                      url.host().isEmpty())
                      return QStringLiteral("--serveur attend l’adresse complète de transcription "
                                            "(http:// ou https://…/audio/transcriptions).");
                  options.serverUrl = url.toString(QUrl::FullyEncoded);
                  return std::nullopt;
              }),
        check(QStringLiteral("modele"),
              [&](const QString& text, bool) -> std::optional<QString> {
                  if (text.trimmed().isEmpty())
                      return QStringLiteral("--modele attend un nom de modèle.");
                  options.serverModel = text.trimmed();
                  return std::nullopt;
              }),
        path(QStringLiteral("cle-fichier"), QStringLiteral("un fichier"), &options.serverKeyFile),
        check(QStringLiteral("format-serveur"),
              [&](const QString& text, bool present) -> std::optional<QString> {
                  if (present && text == u"wav")
                      options.serverFormat = ServerFormat::Wav;
                  else if (present && text == u"m4a")
                      options.serverFormat = ServerFormat::Upload;
                  else
                      return QStringLiteral("--format-serveur attend wav ou m4a.");
                  return std::nullopt;
              }),
        check(QStringLiteral("port"),
              [&](const QString& text, bool present) -> std::optional<QString> {
                  bool ok = false;
                  const int port = present ? text.toInt(&ok) : -1;
                  if (!ok || port < 0 || port > 65535)
                      return QStringLiteral("--port attend un numéro de port (0 à 65535).");
                  options.port = port;
                  return std::nullopt;
              }),
        path(QStringLiteral("donnees"), QStringLiteral("un dossier"), &options.dataDir),
        path(QStringLiteral("secrets"), QStringLiteral("un dossier"), &options.secretsDir),
        base(QStringLiteral("base"), &options.base),
        base(QStringLiteral("migrer-vers"), &options.migrateTo),
        check(QStringLiteral("ecoute"),
              [&](const QString& text, bool) -> std::optional<QString> {
                  const QHostAddress address(text);
                  if (address.isNull())
                      return QStringLiteral("--ecoute attend une adresse IP, comme 127.0.0.1, "
                                            "10.0.0.2 ou ::.");
                  options.listenAddress = address.toString();
                  return std::nullopt;
              }),
        check(QStringLiteral("moteur"),
              [&](const QString& text, bool present) -> std::optional<QString> {
                  static const QMap<QString, EngineKind> engines = {
                      {QStringLiteral("pocketsphinx"), EngineKind::PocketSphinx},
                      {QStringLiteral("commande"), EngineKind::Command},
                      {QStringLiteral("serveur"), EngineKind::Server},
                      {QStringLiteral("test"), EngineKind::Test}};
                  if (!present || !engines.contains(text))
                      return QStringLiteral(
                          "--moteur attend pocketsphinx, commande, serveur ou test.");
                  options.engine = engines.value(text);
                  engineGiven = true;
                  return std::nullopt;
              }),
        check(QStringLiteral("commande"),
              [&](const QString& text, bool) -> std::optional<QString> {
                  if (text.trimmed().isEmpty())
                      return QStringLiteral("--commande attend une commande.");
                  options.command = text;
                  return std::nullopt;
              }),
    };
    for (const auto& refusal : refusals)
        if (refusal)
            return *refusal;
    if (!parsed)
        return QStringLiteral("Option inconnue : %1").arg(arguments.last());
    options.control = parser.isSet(QStringLiteral("controle"));
    options.paymentsEnabled = !parser.isSet(QStringLiteral("sans-paiement"));
    options.helpWanted = parser.isSet(QStringLiteral("aide"));
    options.prepareSecrets = parser.isSet(QStringLiteral("preparer-secrets"));
    if (!options.base.isEmpty() && !options.migrateTo.isEmpty())
        return QStringLiteral("--migrer-vers copie la base SQLite du dossier de données : "
                              "sans --base.");

    // A command alone is enough to say which engine is wanted.
    if (!engineGiven && !options.command.isEmpty())
        options.engine = EngineKind::Command;
    if (!engineGiven && !options.serverUrl.isEmpty())
        options.engine = EngineKind::Server;
    if (options.engine == EngineKind::Server && options.serverUrl.isEmpty())
        return QStringLiteral("--moteur serveur demande --serveur URL.");
    if (options.engine == EngineKind::Command && options.command.isEmpty())
        return QStringLiteral("--moteur commande demande --commande CMD.");
    return options;
}

QString Options::defaultDataDir() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir(base).filePath(QStringLiteral("parlova-relais"));
}

// Written out rather than QCommandLineParser::helpText(), whose headings are
// English and whose columns would change what operators know.
QString Options::usage() {
    return QStringLiteral(
        "Utilisation : parlova-relais [--port N] [--donnees DOSSIER] [--origine URL]\n"
        "                             [--moteur pocketsphinx|commande|serveur|test] …\n"
        "\n"
        "  --port N          port d’écoute (8443 par défaut, 0 : un port libre)\n"
        "  --ecoute ADRESSE  adresse d’écoute (127.0.0.1 par défaut ; :: pour toutes)\n"
        "  --donnees DOSSIER dossier des données (comptes, autorité de certification)\n"
        "  --base URI        base PostgreSQL partagée (postgresql://…) au lieu de SQLite\n"
        "  --secrets DOSSIER clé des empreintes et autorité partagées par les relais d’une\n"
        "                    même base (par défaut le dossier des données)\n"
        "  --preparer-secrets  crée la clé et l’autorité dans le dossier des secrets, puis\n"
        "                    s’arrête\n"
        "  --migrer-vers URI copie la base SQLite du dossier de données dans une base\n"
        "                    PostgreSQL neuve, puis s’arrête\n"
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
