#include "relay/Pages.h"

#include "relay/AccountStore.h"
#include "relay/ParisWeek.h"

namespace parlova::relay {

namespace {

const QString style = QStringLiteral(
    "body{font-family:system-ui,sans-serif;max-width:38rem;margin:3rem auto;padding:0 1rem;"
    "color:#1d1d1f;line-height:1.5}"
    "h1{font-size:1.6rem}form{display:inline-block;margin:.3rem .5rem .3rem 0}"
    "button,.bouton{font-size:1rem;padding:.6rem 1.2rem;border-radius:.5rem;border:1px solid "
    "#0a64d8;background:#0a64d8;color:#fff;cursor:pointer;text-decoration:none;display:inline-"
    "block}"
    "button.second{background:#fff;color:#0a64d8}"
    ".code{font-family:monospace;font-size:1.8rem;letter-spacing:.2rem}"
    ".note{color:#6e6e73;font-size:.9rem}");

const QString backToApp =
    QStringLiteral("<p><a class=\"bouton\" href=\"parlova://compte\">Revenir à Parlova</a></p>");

QString button(const QString& action, const QString& label, bool secondary = false) {
    return QStringLiteral("<form method=\"post\" action=\"%1\"><button type=\"submit\"%2>%3"
                          "</button></form>")
        .arg(Pages::escape(action), secondary ? QStringLiteral(" class=\"second\"") : QString(),
             Pages::escape(label));
}

QString statusText(const SubscriptionRecord& sub) {
    const QString end = ParisWeek::frenchDay(sub.periodEnd);
    if (sub.cancelsAtPeriodEnd)
        return QStringLiteral("Résilié : Pro jusqu’au %1.").arg(end);
    if (sub.status == SubscriptionStatus::PastDue)
        return QStringLiteral("Paiement refusé : le moyen de paiement est à mettre à jour.");
    if (sub.status == SubscriptionStatus::Trialing)
        return QStringLiteral("Premier paiement le %1.").arg(end);
    return QStringLiteral("Actif, renouvellement le %1.").arg(end);
}

} // namespace

QString Pages::escape(const QString& text) {
    return text.toHtmlEscaped();
}

QString Pages::page(const QString& title, const QString& body) {
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                          "<title>%1</title><style>%2</style></head><body>\n%3\n</body></html>\n")
        .arg(escape(title), style, body);
}

QString Pages::message(const QString& title, const QString& text) {
    return page(title, QStringLiteral("<h1>%1</h1><p>%2</p>").arg(escape(title), escape(text)));
}

QString Pages::planName(Period period) {
    return period == Period::Yearly ? QStringLiteral("Pro annuel") : QStringLiteral("Pro mensuel");
}

QString Pages::euros(qint64 cents) {
    QString text = QString::number(cents / 100);
    if (cents % 100 != 0)
        text += u',' + QStringLiteral("%1").arg(cents % 100, 2, 10, QChar(u'0'));
    return text + QStringLiteral("\u00a0€");
}

QString Pages::home() {
    return page(
        QStringLiteral("Relais Parlova"),
        QStringLiteral("<h1>Relais Parlova</h1><p>Ce relais local sert l’application Parlova : "
                       "connexion par code, compte, abonnement et transcription des dictées.</p>"
                       "<p><a href=\"/conditions\">Conditions d’utilisation</a> · "
                       "<a href=\"/confidentialite\">Confidentialité</a></p>"));
}

QString Pages::terms() {
    return page(
        QStringLiteral("Conditions d’utilisation"),
        QStringLiteral(
            "<h1>Conditions d’utilisation</h1>"
            "<p>Ce relais est hébergé par la personne qui l’a installé. Il transcrit les dictées "
            "envoyées par Parlova et tient les comptes de ses utilisateurs.</p>"
            "<p>L’offre gratuite comprend %1 mots par semaine ; le compteur repart chaque lundi à "
            "0 h (heure de Paris). L’offre Pro, mensuelle ou annuelle, n’a pas de plafond. Sur ce "
            "relais, les paiements sont simulés : aucune somme n’est prélevée.</p>"
            "<p>Un abonnement résilié reste actif jusqu’à la fin de la période payée.</p>")
            .arg(AccountStore::weeklyCap));
}

QString Pages::privacy() {
    return page(
        QStringLiteral("Confidentialité"),
        QStringLiteral(
            "<h1>Confidentialité</h1>"
            "<p>Le relais garde l’adresse e-mail de chaque compte, le nombre de mots dictés dans "
            "la semaine, l’état de l’abonnement et les chiffres du parrainage.</p>"
            "<p>L’audio des dictées est transcrit puis oublié : il n’est jamais enregistré sur "
            "le disque, sauf le temps d’une transcription par une commande externe. Le texte "
            "transcrit n’est pas conservé.</p>"
            "<p>Les jetons de session et les codes de connexion ne sont gardés que sous forme "
            "d’empreinte. Supprimer son compte efface toutes ses données.</p>"));
}

QString Pages::invitation(const QString& code) {
    const QString link = QStringLiteral("parlova://parrainage/") + code;
    return page(
        QStringLiteral("Invitation Parlova"),
        QStringLiteral(
            "<h1>Vous êtes invité sur Parlova</h1>"
            "<p>Dictez dans n’importe quelle application en maintenant une touche. Avec ce code "
            "de parrainage, un nouveau compte reçoit un mois de Pro offert.</p>"
            "<p class=\"code\">%1</p>"
            "<p><a class=\"bouton\" href=\"%2\">Ouvrir dans Parlova</a></p>"
            "<p class=\"note\">Si Parlova ne s’ouvre pas, saisissez le code dans la fenêtre de "
            "connexion.</p>")
            .arg(escape(code), escape(link)));
}

QString Pages::checkout(const QString& formAction, const QString& email, Period period,
                        const QString& priceText, qint64 firstPaymentAt, bool trialing) {
    const QString when =
        trialing ? QStringLiteral("<p>Vos jours de Pro restants sont gardés : le premier "
                                  "paiement aura lieu le %1.</p>")
                       .arg(ParisWeek::frenchDay(firstPaymentAt))
                 : QString();
    return page(QStringLiteral("Paiement – %1").arg(planName(period)),
                QStringLiteral("<h1>%1</h1><p>Compte : %2</p><p>Prix : %3</p>%4"
                               "<p class=\"note\">Paiement simulé par le relais local : aucune "
                               "somme n’est prélevée.</p>%5")
                    .arg(escape(planName(period)), escape(email), escape(priceText), when,
                         button(formAction, QStringLiteral("S’abonner"))));
}

QString Pages::subscribed(const SubscriptionRecord& subscription) {
    return page(QStringLiteral("Abonnement Pro actif"),
                QStringLiteral("<h1>Merci, votre abonnement Pro est actif</h1><p>%1 – %2</p>%3")
                    .arg(escape(planName(subscription.period)), escape(statusText(subscription)),
                         backToApp));
}

QString Pages::portal(const QString& formBase, const QString& email,
                      const SubscriptionRecord& subscription) {
    QString actions;
    if (!subscription.cancelsAtPeriodEnd)
        actions += button(formBase + QStringLiteral("/resilier"),
                          QStringLiteral("Résilier à la fin de la période"), true);
    if (subscription.cancelsAtPeriodEnd || subscription.status == SubscriptionStatus::PastDue)
        actions += button(formBase + QStringLiteral("/reprendre"),
                          subscription.cancelsAtPeriodEnd
                              ? QStringLiteral("Reprendre l’abonnement")
                              : QStringLiteral("Mettre à jour le moyen de paiement"));
    if (subscription.status != SubscriptionStatus::PastDue)
        actions += button(formBase + QStringLiteral("/impaye"),
                          QStringLiteral("Simuler un paiement refusé"), true);
    return page(QStringLiteral("Gérer l’abonnement"),
                QStringLiteral("<h1>Votre abonnement</h1><p>Compte : %1</p><p>Formule : %2</p>"
                               "<p>État : %3</p><p>%4</p>%5")
                    .arg(escape(email), escape(planName(subscription.period)),
                         escape(statusText(subscription)), actions, backToApp));
}

} // namespace parlova::relay
