#include "core/Catalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QTranslator>

#include <memory>
#include <string_view>
#include <unordered_map>

namespace parlova::core {

namespace {

struct Entry {
    const char* key;
    const char16_t* french;
};

// The shipped texts, in catalog order. Written by scripts/generate_catalog.py;
// the typographic apostrophes, ellipses and the no-break space of "2 000"
// are the characters themselves (UTF-8 source, UTF-16 literals).
constexpr Entry entries[] = {
    // BEGIN GENERATED entries
    {"menu.ready", u"Prêt : maintenez %@ pour dicter"},
    {"menu.listening", u"Écoute…"},
    {"menu.transcribing", u"Transcription…"},
    {"menu.permissionMissing", u"Une autorisation manque"},
    {"menu.pasteLast", u"Coller la dernière dictée"},
    {"menu.upgrade", u"Passer à Pro…"},
    {"menu.subscription", u"Mon abonnement Pro…"},
    {"menu.referral", u"Parrainage…"},
    {"menu.settings", u"Réglages…"},
    {"menu.permissions", u"Autorisations…"},
    {"menu.quit", u"Quitter Parlova"},
    {"legal.terms", u"Conditions"},
    {"legal.privacy", u"Confidentialité"},
    {"signIn.title", u"Connectez-vous à Parlova"},
    {"signIn.subtitle", u"Saisissez votre adresse e-mail : vous recevrez un code à 6 chiffres, "
                        u"sans mot de passe à retenir."},
    {"signIn.email", u"Adresse e-mail"},
    {"signIn.emailPlaceholder", u"prenom@exemple.fr"},
    {"signIn.referral", u"Code de parrainage (facultatif)"},
    {"signIn.referralPlaceholder", u"6 lettres et chiffres"},
    {"signIn.referralInvalid", u"Un code de parrainage compte 6 lettres et chiffres."},
    {"signIn.sendCode", u"Recevoir le code"},
    {"signIn.codeTitle", u"Vérifiez vos e-mails"},
    {"signIn.codeSubtitle",
     u"Saisissez le code à 6 chiffres envoyé à %@. Il est valable 10 minutes."},
    {"signIn.codePlaceholder", u"000000"},
    {"signIn.submit", u"Se connecter"},
    {"signIn.resend", u"Renvoyer le code"},
    {"signIn.resendIn", u"Renvoyer le code (%@ s)"},
    {"signIn.codeResent", u"Code renvoyé à %@."},
    {"signIn.changeEmail", u"Changer d’adresse"},
    {"signIn.doneTitle", u"Connexion réussie"},
    {"signIn.doneSubtitle", u"Session ouverte : %@."},
    {"signIn.continue", u"Continuer"},
    {"welcome.title", u"Bienvenue dans Parlova"},
    {"welcome.subtitle", u"Maintenez %@, parlez, relâchez : le texte s’écrit là où se trouve le "
                         u"curseur, dans n’importe quelle appli."},
    {"welcome.stepsIntro", u"Deux autorisations, une par une :"},
    {"welcome.microphone.title", u"Micro"},
    {"welcome.microphone.detail",
     u"Pour entendre votre voix, seulement pendant que vous maintenez la touche."},
    {"welcome.accessibility.title", u"Accessibilité"},
    {"welcome.accessibility.detail", u"Pour reconnaître la touche et écrire le texte dans l’appli "
                                     u"où vous êtes. Activez Parlova dans la liste."},
    {"welcome.allow", u"Autoriser"},
    {"welcome.openSettings", u"Ouvrir l’aide"},
    {"welcome.granted", u"Autorisé"},
    {"welcome.notGranted", u"Non autorisé"},
    {"welcome.allSet", u"C’est prêt. Maintenez %@ et parlez."},
    {"welcome.later", u"Plus tard"},
    {"welcome.start", u"Commencer"},
    {"settings.title", u"Réglages de Parlova"},
    {"settings.account", u"Compte"},
    {"settings.signOut", u"Se déconnecter"},
    {"settings.signIn", u"Se connecter…"},
    {"settings.deleteAccount", u"Supprimer mon compte…"},
    {"settings.deleteAccount.title", u"Supprimer définitivement votre compte ?"},
    {"settings.deleteAccount.loss",
     u"Votre compte et son adresse e-mail, les mots comptés et votre parrainage sont effacés ; vos "
     u"amis gardent ce qu’ils ont reçu. Un abonnement Pro en cours est résilié tout de suite."},
    {"settings.deleteAccount.refund", u"La période en cours, déjà payée, n’est pas remboursée."},
    {"settings.deleteAccount.kept", u"C’est définitif : rien ne pourra être récupéré. Vos factures "
                                    u"restent chez Stripe, pour la comptabilité."},
    {"settings.deleteAccount.confirm", u"Supprimer"},
    {"settings.deleteAccount.stripeFailed",
     u"Stripe n’a pas pu résilier votre abonnement : rien n’a été supprimé. Réessayez plus tard."},
    {"settings.dictation", u"Dictée"},
    {"settings.holdKey", u"Touche à maintenir"},
    {"settings.language", u"Langue"},
    {"settings.languageFooter", u"En automatique, Parlova reconnaît la langue parlée."},
    {"key.shortcutDescription", u"Maintenir pour dicter"},
    {"settings.keySource.shortcut", u"Touche réglée par le bureau : %@"},
    {"settings.keySource.shortcutUnset", u"Touche à choisir dans les réglages du bureau."},
    {"settings.keySource.binding", u"Touche transmise par le compositeur."},
    {"settings.keySource.keyboards", u"Touche lue directement sur les claviers."},
    {"settings.keySource.whereDesktop", u"Changez-la dans les réglages du clavier du bureau."},
    {"settings.keySource.whereCompositor", u"Changez-la dans la configuration du compositeur."},
    {"settings.keySource.configure", u"Modifier le raccourci…"},
    {"settings.general", u"Général"},
    {"settings.launchAtLogin", u"Ouvrir Parlova à l’ouverture de session"},
    {"settings.launchAtLoginApproval", u"À valider dans les réglages du bureau."},
    {"settings.launchAtLoginFailed", u"Le bureau a refusé l’ouverture à la connexion."},
    {"settings.status", u"État"},
    {"settings.version", u"Version %@"},
    {"pro.title", u"Parlova Pro"},
    {"pro.pitch", u"Dictez sans limite de mots, dans toutes vos applis."},
    {"pro.subscribe", u"S’abonner"},
    {"pro.checkoutNote",
     u"Le paiement s’ouvre dans votre navigateur, sur la page sécurisée de Stripe."},
    {"pro.manage", u"Gérer mon abonnement"},
    {"pro.portalNote", u"Factures, moyen de paiement, changement de formule ou résiliation : sur "
                       u"le portail sécurisé de Stripe."},
    {"pro.pending",
     u"Page ouverte dans votre navigateur. Parlova se met à jour dès que Stripe confirme."},
    {"pro.browserFailed", u"Le navigateur n’a pas pu s’ouvrir."},
    {"pro.plan.monthly", u"Pro mensuel"},
    {"pro.plan.yearly", u"Pro annuel"},
    {"pro.price.monthly", u"%@ par mois"},
    {"pro.price.yearly", u"%@ par an, soit %@ par mois"},
    {"pro.state.renews", u"Renouvellement le %@"},
    {"pro.state.trialing", u"Premier paiement le %@"},
    {"pro.state.paymentFailed", u"Paiement refusé : mettez à jour votre moyen de paiement"},
    {"pro.state.canceled", u"Résilié : Pro jusqu’au %@"},
    {"pro.offeredKept",
     u"Vos jours de Pro restants sont gardés : le premier paiement aura lieu le %@."},
    {"referral.title", u"Parrainage"},
    {"referral.rule", u"Votre ami reçoit un mois de Pro à son inscription, et vous gagnez un mois "
                      u"de Pro dès qu’il a dicté 2 000 mots."},
    {"referral.link", u"Votre lien à partager"},
    {"referral.copy", u"Copier"},
    {"referral.copied", u"Copié"},
    {"referral.ignored", u"Code de parrainage %@ non appliqué : il ne vaut qu’à la création d’un "
                         u"compte, et Parlova est déjà connecté au vôtre."},
    {"referral.friends.one", u"ami inscrit"},
    {"referral.friends.other", u"amis inscrits"},
    {"referral.months.one", u"mois gagné"},
    {"referral.months.other", u"mois gagnés"},
    {"referral.applied", u"Parrainage appliqué : un mois de Pro offert."},
    {"referral.existingAccount",
     u"Parrainage non appliqué : il ne vaut que pour un nouveau compte."},
    {"referral.refused",
     u"Parrainage non appliqué : ce code ne peut pas s’appliquer à votre compte."},
    {"account.loading", u"Lecture de votre compte…"},
    {"common.close", u"Fermer"},
    {"common.cancel", u"Annuler"},
    {"pill.listening", u"Écoute…"},
    {"pill.transcribing", u"Transcription…"},
    {"pill.pasteAgain",
     u"Le texte n’a pas pu s’écrire au curseur. Menu : Coller la dernière dictée."},
    {"offer.pro", u"Pro"},
    {"offer.trial", u"Essai Pro jusqu’au %@"},
    {"offer.gifted", u"Pro offert jusqu’au %@"},
    {"offer.wordsLeft", u"%@ mots restants cette semaine"},
    {"offer.oneWordLeft", u"1 mot restant cette semaine"},
    {"offer.limitReached", u"Limite de la semaine atteinte"},
    {"failure.insertionFailed", u"Le texte n’a pas pu s’écrire au curseur."},
    {"failure.noSpeech", u"Aucune parole reconnue."},
    {"failure.noSound", u"Aucun son capté."},
    {"failure.recordingFailed", u"Le micro n’a pas pu démarrer."},
    {"failure.accessibilityMissing",
     u"Accessibilité non autorisée : Parlova ne peut pas écrire le texte."},
    {"failure.microphoneNotDetermined", u"Autorisez d’abord le micro dans l’accueil de Parlova."},
    {"failure.microphoneDenied", u"Aucun micro disponible : vérifiez les réglages du son."},
    {"relay.quotaReached", u"Limite de la semaine atteinte."},
    {"relay.wrongCode.attempts", u"Code incorrect : il vous reste %@ essais."},
    {"relay.wrongCode.lastAttempt", u"Code incorrect : il vous reste un essai."},
    {"relay.wrongCode.none", u"Code incorrect. Demandez un nouveau code."},
    {"relay.tooManyCodes", u"Trop de codes demandés. Réessayez dans %@."},
    {"relay.tooManyAttempts", u"Trop d’essais. Réessayez dans %@."},
    {"relay.unexpectedResponse", u"Réponse inattendue de Parlova."},
    {"relay.signedOut", u"Connectez-vous à Parlova."},
    {"relay.invalidEmail", u"Cette adresse e-mail n’est pas valide."},
    {"relay.unknownReferral", u"Ce code de parrainage n’existe pas."},
    {"relay.codeExpired", u"Ce code n’est plus valable. Demandez-en un nouveau."},
    {"relay.emailNotSent", u"L’e-mail n’a pas pu partir. Réessayez dans un instant."},
    {"relay.alreadySubscribed", u"Votre abonnement Pro est déjà actif."},
    {"relay.noSubscription", u"Aucun abonnement à gérer pour ce compte."},
    {"relay.paymentUnavailable",
     u"Le paiement est indisponible pour le moment. Réessayez plus tard."},
    {"relay.tooLarge", u"Dictée trop longue."},
    {"relay.misconfigured", u"Le service Parlova est mal configuré."},
    {"relay.unavailable", u"Le service Parlova ne répond pas. Réessayez."},
    {"relay.timedOut", u"Parlova a mis trop de temps à répondre. Réessayez."},
    {"relay.offline", u"Pas de connexion Internet."},
    {"delay.oneMinute", u"1 minute"},
    {"delay.minutes", u"%@ minutes"},
    {"delay.oneHour", u"1 heure"},
    {"delay.hours", u"%@ heures"},
    {"key.fn", u"Fn"},
    {"key.rightOption", u"Alt droite (AltGr)"},
    {"key.rightControl", u"Ctrl droite"},
    {"key.rightCommand", u"Super droite"},
    {"language.automatic", u"Automatique"},
    // END GENERATED
};

const Entry* findEntry(const char* key) {
    static const auto index = [] {
        std::unordered_map<std::string_view, const Entry*> map;
        for (const Entry& entry : entries)
            map.emplace(entry.key, &entry);
        return map;
    }();
    if (key == nullptr)
        return nullptr;
    const auto found = index.find(key);
    return found == index.end() ? nullptr : found->second;
}

constexpr QLatin1String placeholder("%@");

} // namespace

QString Catalog::text(const char* key, const QStringList& arguments) {
    if (key == nullptr)
        return {};
    // An id-based lookup answers the id itself when no installed translation
    // has it (and an unfinished translation may be empty): both mean French.
    const QString translated = qtTrId(key);
    if (!translated.isEmpty() && translated != QLatin1String(key))
        return fill(translated, arguments);
    const Entry* entry = findEntry(key);
    if (entry == nullptr)
        return fill(QString::fromUtf8(key), arguments);
    return fill(QString::fromUtf16(entry->french), arguments);
}

QString Catalog::frenchDefault(const char* key) {
    const Entry* entry = findEntry(key);
    return entry == nullptr ? QString() : QString::fromUtf16(entry->french);
}

QStringList Catalog::keys() {
    QStringList result;
    result.reserve(std::size(entries));
    for (const Entry& entry : entries)
        result.append(QString::fromLatin1(entry.key));
    return result;
}

QString Catalog::fill(const QString& pattern, const QStringList& arguments) {
    QString result = pattern;
    qsizetype from = 0;
    for (const QString& argument : arguments) {
        const qsizetype at = result.indexOf(placeholder, from);
        if (at < 0)
            break;
        result.replace(at, placeholder.size(), argument);
        // Resume after the inserted text: a "%@" typed by the user inside an
        // argument (an e-mail address, a code) is not a placeholder.
        from = at + argument.size();
    }
    return result;
}

QString Catalog::message(Error error) {
    switch (error) {
    case Error::noApplication:
        return QStringLiteral("Les traductions demandent l’application.");
    case Error::notFound:
        return QStringLiteral("Aucune traduction utilisable pour cette langue.");
    }
    return {};
}

Done<Catalog::Error> Catalog::installTranslations(const QLocale& locale,
                                                  const QStringList& folders) {
    auto* application = QCoreApplication::instance();
    if (application == nullptr)
        return Error::noApplication;

    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }

    QStringList candidates = folders;
    if (candidates.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath();
        candidates << beside + QStringLiteral("/translations")
                   << beside + QStringLiteral("/../share/parlova/translations")
                   << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                QStringLiteral("parlova/translations"),
                                                QStandardPaths::LocateDirectory);
    }
    for (const QString& folder : std::as_const(candidates)) {
        auto translator = std::make_unique<QTranslator>(application);
        if (translator->load(locale, QStringLiteral("parlova"), QStringLiteral("_"),
                             QDir::cleanPath(folder)) &&
            QCoreApplication::installTranslator(translator.get())) {
            installed = translator.release();
            return std::monostate{};
        }
    }
    return Error::notFound;
}

} // namespace parlova::core
