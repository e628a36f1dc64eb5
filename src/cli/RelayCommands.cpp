#include "cli/RelayCommands.h"

#include "cli/CommandLineTool.h"
#include "core/Await.h"
#include "core/domain/OfferText.h"
#include "core/domain/ReferralCode.h"
#include "core/domain/SignInCode.h"
#include "core/keychain/KeychainItem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace parlova::cli {

using core::Account;
using core::KeychainItem;
using core::OfferText;
using core::RelayFailure;
using core::SecretStore;

namespace {

QString absolute(const QUrl& url) {
    return QString::fromUtf8(url.toEncoded());
}

QString optionalLink(const std::optional<QUrl>& url) {
    return url ? absolute(*url) : u"aucune"_s;
}

QString seconds(qint64 milliseconds) {
    return QLocale::system().toString(static_cast<double>(milliseconds) / 1000.0, 'f', 1);
}

QString capText(const Account::Week& week) {
    if (!week.limit)
        return u"sans plafond"_s;
    return u"plafond "_s + OfferText::grouped(*week.limit) + u", reste "_s +
           OfferText::grouped(week.remaining.value_or(0));
}

// Only a regular file is read: a device or a pipe could never end.
core::Result<QByteArray, RelayCommands::Error> readWhole(const std::optional<QString>& path) {
    if (!path || !QFileInfo(*path).isFile())
        return RelayCommands::Error::unreadableAudio;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return RelayCommands::Error::unreadableAudio;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return RelayCommands::Error::unreadableAudio;
    return bytes;
}

// The referral code as the relay spells it, or none when none was given.
core::Result<std::optional<QString>, RelayCommands::Error>
normalizedReferral(const std::optional<QString>& referral) {
    if (!referral)
        return std::optional<QString>();
    std::optional<QString> code = core::ReferralCode::normalized(*referral);
    if (!code)
        return RelayCommands::Error::invalidReferral;
    return code;
}

} // namespace

core::RelayClient RelayCommands::client() const {
    const core::SettingsStore& settings = m_environment.settings;
    if (!m_environment.transport)
        return core::RelayClient(settings);
    return core::RelayClient(settings.relayOrigin(), m_environment.transport,
                             m_environment.timeouts, settings.relayAuthorities());
}

void RelayCommands::print(const QString& line) {
    m_environment.out << line << '\n';
    m_environment.out.flush();
}

int RelayCommands::report(const RelayFailure& failure) {
    print(failure.message() + u" ["_s + failure.caseText() + u']');
    if (failure.kind() == RelayFailure::Kind::signedOut &&
        KeychainItem::session().remove(m_environment.keychain) == SecretStore::success)
        print(u"Session échue : jeton effacé du trousseau."_s);
    return 1;
}

int RelayCommands::keychainFailure(const QString& what, qint32 status) {
    print(what + CommandLineTool::describe(status) + u'.');
    return 1;
}

QString RelayCommands::message(Error error) {
    switch (error) {
    case Error::invalidReferral:
        return u"Code de parrainage invalide : 6 caractères parmi "_s +
               core::ReferralCode::alphabet + u'.';
    case Error::unreadableAudio:
        return u"Fichier son illisible. Usage : --essai-relais <fichier.m4a>"_s;
    }
    return {};
}

int RelayCommands::refuse(Error error) {
    print(message(error));
    return 1;
}

int RelayCommands::usage(const QString& synopsis) {
    print(u"Usage : "_s + synopsis);
    return 1;
}

KeychainItem::Lookup RelayCommands::storedToken() {
    const KeychainItem::Lookup lookup = KeychainItem::session().read(m_environment.keychain);
    if (lookup)
        return lookup;
    if (lookup.error() == SecretStore::itemNotFound)
        print(RelayFailure::signedOut().message() +
              u" Aucune session dans le trousseau : --connexion, puis --code."_s);
    else
        keychainFailure(u"Trousseau illisible : "_s, lookup.error());
    return lookup;
}

QString RelayCommands::dateTime(const QDateTime& date) {
    const QLocale locale = QLocale::system();
    return locale.toString(date.toTimeZone(OfferText::timeZone()),
                           locale.dateFormat(QLocale::LongFormat) + u' ' +
                               locale.timeFormat(QLocale::ShortFormat));
}

// --connexion

int RelayCommands::requestCode(const std::optional<QString>& email,
                               const std::optional<QString>& referral) {
    if (!email)
        return usage(u"--connexion <email> [parrainage]"_s);
    const core::Result<std::optional<QString>, Error> normalized = normalizedReferral(referral);
    if (!normalized)
        return refuse(normalized.error());
    const std::optional<QString>& code = *normalized;

    const core::RelayDone sent = core::waitFor(client().requestCode(*email, code));
    if (!sent)
        return report(sent.error());
    QString line = u"Code envoyé à "_s + *email + u". Ensuite : --code "_s + *email + u" <code>"_s;
    if (code)
        line += u' ' + *code;
    print(line);
    return 0;
}

// --code

int RelayCommands::signIn(const std::optional<QString>& email, const std::optional<QString>& code,
                          const std::optional<QString>& referral) {
    const QString synopsis = u"--code <email> <code|-> [parrainage]"_s;
    if (!email)
        return usage(synopsis);
    QString typed;
    if (!code || *code == u"-") {
        typed = m_environment.in.readLine();
        if (typed.isNull())
            return usage(synopsis);
    } else {
        typed = *code;
    }
    const core::Result<std::optional<QString>, Error> normalized = normalizedReferral(referral);
    if (!normalized)
        return refuse(normalized.error());
    const std::optional<QString>& referralCode = *normalized;

    const core::RelayClient relay = client();
    const core::RelayResult<core::SignIn> signedIn =
        core::waitFor(relay.signIn(*email, core::SignInCode::digits(typed), referralCode));
    if (!signedIn)
        return report(signedIn.error());

    const core::SignIn& session = signedIn.value();
    const qint32 status = KeychainItem::session().store(m_environment.keychain, session.token);
    if (status != SecretStore::success) {
        print(u"Le trousseau a refusé le jeton : "_s + CommandLineTool::describe(status) +
              u". La session est refermée au relais."_s);
        // A token that cannot be kept must not stay valid at the relay.
        core::waitFor(relay.signOut(session.token));
        return 1;
    }
    print(u"Connecté : "_s + session.account.email + u" ("_s +
          OfferText::line(session.account.offer, session.account.week.remaining.value_or(0)) +
          u"). Jeton rangé dans le trousseau."_s);
    if (session.referral)
        print(session.referral->notice());
    return 0;
}

// --compte

int RelayCommands::showAccount() {
    const KeychainItem::Lookup token = storedToken();
    if (!token)
        return 1;
    const core::RelayResult<Account> read = core::waitFor(client().account(*token));
    if (!read)
        return report(read.error());

    const Account& account = read.value();
    print(account.email);
    print(u"Offre : "_s + OfferText::line(account.offer, account.week.remaining.value_or(0)));
    if (const std::optional<Account::Subscription>& subscription = account.subscription) {
        QString line = u"Abonnement : "_s + Account::Subscription::rawValue(subscription->period) +
                       u", statut Stripe "_s + subscription->status;
        if (account.offer.kind() == Account::Offer::Kind::pro)
            line += u" ; "_s + OfferText::subscriptionState(*subscription);
        print(line);
    }
    print(u"Semaine : "_s + OfferText::grouped(account.week.words) + u" mots, "_s +
          capText(account.week) + u", réinitialisation "_s + dateTime(account.week.resetsAt));
    const Account::Referral& referral = account.referral;
    // Concatenated, not arg(): a percent-encoded link must not read as a marker.
    print(u"Parrainage : "_s + referral.code + u", "_s + absolute(referral.link) + u" ; "_s +
          QString::number(referral.friends) + u" inscrits, "_s +
          QString::number(referral.validatedFriends) + u" validés, "_s +
          QString::number(referral.monthsEarned) + u" mois gagnés"_s);
    print(u"Liens : conditions "_s + optionalLink(account.links.terms) + u", confidentialité "_s +
          optionalLink(account.links.privacy));
    return 0;
}

// --deconnexion

int RelayCommands::signOut() {
    const KeychainItem::Lookup lookup = KeychainItem::session().read(m_environment.keychain);
    if (!lookup && lookup.error() == SecretStore::itemNotFound) {
        print(u"Aucune session dans le trousseau."_s);
        return 0;
    }
    if (!lookup)
        return keychainFailure(u"Trousseau illisible : "_s, lookup.error());

    const core::RelayDone closed = core::waitFor(client().signOut(lookup.value()));
    if (!closed && closed.error().kind() != RelayFailure::Kind::signedOut)
        print(u"Le relais n'a pas fermé la session : "_s + closed.error().message() + u" ["_s +
              closed.error().caseText() + u"]. Le jeton s'efface quand même."_s);

    const qint32 status = KeychainItem::session().remove(m_environment.keychain);
    if (status != SecretStore::success && status != SecretStore::itemNotFound)
        return keychainFailure(u"Le trousseau n'a pas effacé le jeton : "_s, status);
    print(u"Session fermée, jeton effacé du trousseau."_s);
    return 0;
}

// --essai-relais

int RelayCommands::tryRelay(const std::optional<QString>& path) {
    const core::Result<QByteArray, Error> audio = readWhole(path);
    if (!audio)
        return refuse(audio.error());
    const KeychainItem::Lookup token = storedToken();
    if (!token)
        return 1;
    const core::DictationLanguage language = m_environment.settings.load().language;
    const core::RelayClient relay = client();

    QElapsedTimer clock;
    clock.start();
    const core::RelayResult<core::Dictation, core::DictationFailure> dictated =
        core::waitFor(relay.dictate(*audio, *token, language));
    const QString elapsed = seconds(clock.elapsed());

    if (dictated) {
        const core::Dictation& dictation = dictated.value();
        QString summary =
            u"("_s + elapsed + u" s, "_s + QString::number(dictation.words) + u" mots"_s;
        if (dictation.week.remaining)
            summary += u", reste "_s + OfferText::grouped(*dictation.week.remaining);
        summary += u", "_s + relay.origin().host() + u')';
        print(dictation.text + u'\n' + summary);
        return 0;
    }
    const core::DictationFailure& failure = dictated.error();
    if (const std::optional<RelayFailure>& relayFailure = failure.relayFailure()) {
        print(u"("_s + elapsed + u" s)"_s);
        return report(*relayFailure);
    }
    print(failure.message() + u" ["_s + failure.caseText() + u"] ("_s + elapsed + u" s)"_s);
    return 1;
}

// --paiement, --portail

int RelayCommands::showPaymentPage(const std::optional<core::PaymentPage>& page) {
    if (!page)
        return usage(u"--paiement <mensuel|annuel>"_s);
    const KeychainItem::Lookup token = storedToken();
    if (!token)
        return 1;
    const core::RelayResult<QUrl> url = core::waitFor(client().paymentPage(*page, *token));
    if (!url)
        return report(url.error());
    print(u"À ouvrir dans un navigateur : "_s + absolute(url.value()));
    return 0;
}

// --oublier-cle

int RelayCommands::forgetLegacyKey() {
    const qint32 status = KeychainItem::legacyRelayKey().remove(m_environment.keychain);
    if (status != SecretStore::success && status != SecretStore::itemNotFound)
        return keychainFailure(u"Le trousseau n'a pas retiré la clé de la démo : "_s, status);
    print(u"Clé partagée de la démo retirée du trousseau."_s);
    return 0;
}

} // namespace parlova::cli
