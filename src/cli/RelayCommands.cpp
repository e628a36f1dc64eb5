#include "cli/RelayCommands.h"

#include "cli/CommandLineTool.h"
#include "core/Await.h"
#include "core/KeychainItem.h"
#include "core/OfferText.h"
#include "core/ReferralCode.h"
#include "core/SignInCode.h"
#include "platform/Keychain.h"

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
std::optional<QByteArray> readWhole(const std::optional<QString>& path) {
    if (!path || !QFileInfo(*path).isFile())
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

std::optional<QString> normalizedReferral(const std::optional<QString>& referral, bool* valid) {
    *valid = true;
    if (!referral)
        return std::nullopt;
    std::optional<QString> code = core::ReferralCode::normalized(*referral);
    *valid = code.has_value();
    return code;
}

} // namespace

RelayCommands::Environment& RelayCommands::standard() {
    static QTextStream out(stdout);
    static QTextStream in(stdin);
    static Environment environment{
        platform::Keychain::system(), core::SettingsStore(), out, in, nullptr,
        core::RelayTimeouts{}};
    return environment;
}

core::RelayClient RelayCommands::client(const Environment& environment) {
    const QUrl origin = environment.settings.relayOrigin();
    if (!environment.transport)
        return core::RelayClient(origin);
    return core::RelayClient(origin, environment.transport, environment.timeouts);
}

void RelayCommands::print(Environment& environment, const QString& line) {
    environment.out << line << '\n';
    environment.out.flush();
}

int RelayCommands::report(Environment& environment, const RelayFailure& failure) {
    print(environment, failure.message() + u" ["_s + failure.caseText() + u']');
    if (failure.kind() == RelayFailure::Kind::signedOut &&
        KeychainItem::session().remove(environment.keychain) == SecretStore::success)
        print(environment, u"Session échue : jeton effacé du trousseau."_s);
    return 1;
}

int RelayCommands::invalidReferral(Environment& environment) {
    print(environment, u"Code de parrainage invalide : 6 caractères parmi "_s +
                           core::ReferralCode::alphabet + u'.');
    return 1;
}

int RelayCommands::usage(Environment& environment, const QString& synopsis) {
    print(environment, u"Usage : "_s + synopsis);
    return 1;
}

std::optional<QString> RelayCommands::storedToken(Environment& environment) {
    const KeychainItem::Lookup lookup = KeychainItem::session().read(environment.keychain);
    if (lookup)
        return lookup.value();
    if (lookup.error() == SecretStore::itemNotFound)
        print(environment, RelayFailure::signedOut().message() +
                               u" Aucune session dans le trousseau : --connexion, puis --code."_s);
    else
        print(environment,
              u"Trousseau illisible : "_s + CommandLineTool::describe(lookup.error()) + u'.');
    return std::nullopt;
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
    return requestCode(standard(), email, referral);
}

int RelayCommands::requestCode(Environment& environment, const std::optional<QString>& email,
                               const std::optional<QString>& referral) {
    if (!email)
        return usage(environment, u"--connexion <email> [parrainage]"_s);
    bool valid = true;
    const std::optional<QString> code = normalizedReferral(referral, &valid);
    if (!valid)
        return invalidReferral(environment);

    const core::RelayDone sent = core::waitFor(client(environment).requestCode(*email, code));
    if (!sent)
        return report(environment, sent.error());
    QString line = u"Code envoyé à "_s + *email + u". Ensuite : --code "_s + *email + u" <code>"_s;
    if (code)
        line += u' ' + *code;
    print(environment, line);
    return 0;
}

// --code

int RelayCommands::signIn(const std::optional<QString>& email, const std::optional<QString>& code,
                          const std::optional<QString>& referral) {
    return signIn(standard(), email, code, referral);
}

int RelayCommands::signIn(Environment& environment, const std::optional<QString>& email,
                          const std::optional<QString>& code,
                          const std::optional<QString>& referral) {
    const QString synopsis = u"--code <email> <code|-> [parrainage]"_s;
    if (!email)
        return usage(environment, synopsis);
    QString typed;
    if (!code || *code == u"-") {
        typed = environment.in.readLine();
        if (typed.isNull())
            return usage(environment, synopsis);
    } else {
        typed = *code;
    }
    bool valid = true;
    const std::optional<QString> referralCode = normalizedReferral(referral, &valid);
    if (!valid)
        return invalidReferral(environment);

    const core::RelayClient relay = client(environment);
    const core::RelayResult<core::SignIn> signedIn =
        core::waitFor(relay.signIn(*email, core::SignInCode::digits(typed), referralCode));
    if (!signedIn)
        return report(environment, signedIn.error());

    const core::SignIn& session = signedIn.value();
    const qint32 status = KeychainItem::session().store(environment.keychain, session.token);
    if (status != SecretStore::success) {
        print(environment, u"Le trousseau a refusé le jeton : "_s +
                               CommandLineTool::describe(status) +
                               u". La session est refermée au relais."_s);
        // A token that cannot be kept must not stay valid at the relay.
        core::waitFor(relay.signOut(session.token));
        return 1;
    }
    print(environment,
          u"Connecté : "_s + session.account.email + u" ("_s +
              OfferText::line(session.account.offer, session.account.week.remaining.value_or(0)) +
              u"). Jeton rangé dans le trousseau."_s);
    if (session.referral)
        print(environment, session.referral->notice());
    return 0;
}

// --compte

int RelayCommands::showAccount() {
    return showAccount(standard());
}

int RelayCommands::showAccount(Environment& environment) {
    const std::optional<QString> token = storedToken(environment);
    if (!token)
        return 1;
    const core::RelayResult<Account> read = core::waitFor(client(environment).account(*token));
    if (!read)
        return report(environment, read.error());

    const Account& account = read.value();
    print(environment, account.email);
    print(environment,
          u"Offre : "_s + OfferText::line(account.offer, account.week.remaining.value_or(0)));
    if (const std::optional<Account::Subscription>& subscription = account.subscription) {
        QString line = u"Abonnement : "_s + Account::Subscription::rawValue(subscription->period) +
                       u", statut Stripe "_s + subscription->status;
        if (account.offer.kind() == Account::Offer::Kind::pro)
            line += u" ; "_s + OfferText::subscriptionState(*subscription);
        print(environment, line);
    }
    print(environment, u"Semaine : "_s + OfferText::grouped(account.week.words) + u" mots, "_s +
                           capText(account.week) + u", réinitialisation "_s +
                           dateTime(account.week.resetsAt));
    const Account::Referral& referral = account.referral;
    // Concatenated, not arg(): a percent-encoded link must not read as a marker.
    print(environment, u"Parrainage : "_s + referral.code + u", "_s + absolute(referral.link) +
                           u" ; "_s + QString::number(referral.friends) + u" inscrits, "_s +
                           QString::number(referral.validatedFriends) + u" validés, "_s +
                           QString::number(referral.monthsEarned) + u" mois gagnés"_s);
    print(environment, u"Liens : conditions "_s + optionalLink(account.links.terms) +
                           u", confidentialité "_s + optionalLink(account.links.privacy));
    return 0;
}

// --deconnexion

int RelayCommands::signOut() {
    return signOut(standard());
}

int RelayCommands::signOut(Environment& environment) {
    const KeychainItem::Lookup lookup = KeychainItem::session().read(environment.keychain);
    if (!lookup && lookup.error() == SecretStore::itemNotFound) {
        print(environment, u"Aucune session dans le trousseau."_s);
        return 0;
    }
    if (!lookup) {
        print(environment,
              u"Trousseau illisible : "_s + CommandLineTool::describe(lookup.error()) + u'.');
        return 1;
    }

    const core::RelayDone closed = core::waitFor(client(environment).signOut(lookup.value()));
    if (!closed && closed.error().kind() != RelayFailure::Kind::signedOut)
        print(environment, u"Le relais n'a pas fermé la session : "_s + closed.error().message() +
                               u" ["_s + closed.error().caseText() +
                               u"]. Le jeton s'efface quand même."_s);

    const qint32 status = KeychainItem::session().remove(environment.keychain);
    if (status != SecretStore::success && status != SecretStore::itemNotFound) {
        print(environment, u"Le trousseau n'a pas effacé le jeton : "_s +
                               CommandLineTool::describe(status) + u'.');
        return 1;
    }
    print(environment, u"Session fermée, jeton effacé du trousseau."_s);
    return 0;
}

// --essai-relais

int RelayCommands::tryRelay(const std::optional<QString>& path) {
    return tryRelay(standard(), path);
}

int RelayCommands::tryRelay(Environment& environment, const std::optional<QString>& path) {
    const std::optional<QByteArray> audio = readWhole(path);
    if (!audio) {
        print(environment, u"Fichier son illisible. Usage : --essai-relais <fichier.m4a>"_s);
        return 1;
    }
    const std::optional<QString> token = storedToken(environment);
    if (!token)
        return 1;
    const core::DictationLanguage language = environment.settings.load().language;
    const core::RelayClient relay = client(environment);

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
        print(environment, dictation.text + u'\n' + summary);
        return 0;
    }
    const core::DictationFailure& failure = dictated.error();
    if (const std::optional<RelayFailure>& relayFailure = failure.relayFailure()) {
        print(environment, u"("_s + elapsed + u" s)"_s);
        return report(environment, *relayFailure);
    }
    print(environment,
          failure.message() + u" ["_s + failure.caseText() + u"] ("_s + elapsed + u" s)"_s);
    return 1;
}

// --paiement, --portail

int RelayCommands::showPaymentPage(const std::optional<core::PaymentPage>& page) {
    return showPaymentPage(standard(), page);
}

int RelayCommands::showPaymentPage(Environment& environment,
                                   const std::optional<core::PaymentPage>& page) {
    if (!page)
        return usage(environment, u"--paiement <mensuel|annuel>"_s);
    const std::optional<QString> token = storedToken(environment);
    if (!token)
        return 1;
    const core::RelayResult<QUrl> url =
        core::waitFor(client(environment).paymentPage(*page, *token));
    if (!url)
        return report(environment, url.error());
    print(environment, u"À ouvrir dans un navigateur : "_s + absolute(url.value()));
    return 0;
}

} // namespace parlova::cli
