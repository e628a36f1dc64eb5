#include "core/Texts.h"

#include "core/Catalog.h"

namespace parlova::core {

// BEGIN GENERATED members
const QString& Texts::listening() {
    static const QString text = Catalog::text("menu.listening");
    return text;
}

const QString& Texts::transcribing() {
    static const QString text = Catalog::text("menu.transcribing");
    return text;
}

const QString& Texts::permissionMissing() {
    static const QString text = Catalog::text("menu.permissionMissing");
    return text;
}

QString Texts::ready(const QString& key) {
    return Catalog::text("menu.ready", {key});
}

const QString& Texts::settingsItem() {
    static const QString text = Catalog::text("menu.settings");
    return text;
}

const QString& Texts::permissionsItem() {
    static const QString text = Catalog::text("menu.permissions");
    return text;
}

const QString& Texts::upgradeItem() {
    static const QString text = Catalog::text("menu.upgrade");
    return text;
}

const QString& Texts::subscriptionItem() {
    static const QString text = Catalog::text("menu.subscription");
    return text;
}

const QString& Texts::referralItem() {
    static const QString text = Catalog::text("menu.referral");
    return text;
}

const QString& Texts::quitItem() {
    static const QString text = Catalog::text("menu.quit");
    return text;
}

const QString& Texts::terms() {
    static const QString text = Catalog::text("legal.terms");
    return text;
}

const QString& Texts::privacy() {
    static const QString text = Catalog::text("legal.privacy");
    return text;
}

const QString& Texts::signInTitle() {
    static const QString text = Catalog::text("signIn.title");
    return text;
}

const QString& Texts::signInSubtitle() {
    static const QString text = Catalog::text("signIn.subtitle");
    return text;
}

const QString& Texts::emailLabel() {
    static const QString text = Catalog::text("signIn.email");
    return text;
}

const QString& Texts::emailPlaceholder() {
    static const QString text = Catalog::text("signIn.emailPlaceholder");
    return text;
}

const QString& Texts::referralLabel() {
    static const QString text = Catalog::text("signIn.referral");
    return text;
}

const QString& Texts::referralPlaceholder() {
    static const QString text = Catalog::text("signIn.referralPlaceholder");
    return text;
}

const QString& Texts::referralInvalid() {
    static const QString text = Catalog::text("signIn.referralInvalid");
    return text;
}

const QString& Texts::sendCode() {
    static const QString text = Catalog::text("signIn.sendCode");
    return text;
}

const QString& Texts::codeTitle() {
    static const QString text = Catalog::text("signIn.codeTitle");
    return text;
}

QString Texts::codeSubtitle(const QString& email) {
    return Catalog::text("signIn.codeSubtitle", {email});
}

const QString& Texts::codePlaceholder() {
    static const QString text = Catalog::text("signIn.codePlaceholder");
    return text;
}

const QString& Texts::submitCode() {
    static const QString text = Catalog::text("signIn.submit");
    return text;
}

const QString& Texts::resend() {
    static const QString text = Catalog::text("signIn.resend");
    return text;
}

QString Texts::resendIn(const QString& seconds) {
    return Catalog::text("signIn.resendIn", {seconds});
}

QString Texts::codeResent(const QString& email) {
    return Catalog::text("signIn.codeResent", {email});
}

const QString& Texts::changeEmail() {
    static const QString text = Catalog::text("signIn.changeEmail");
    return text;
}

const QString& Texts::signedInTitle() {
    static const QString text = Catalog::text("signIn.doneTitle");
    return text;
}

QString Texts::signedInAs(const QString& email) {
    return Catalog::text("signIn.doneSubtitle", {email});
}

const QString& Texts::continueButton() {
    static const QString text = Catalog::text("signIn.continue");
    return text;
}

const QString& Texts::welcomeTitle() {
    static const QString text = Catalog::text("welcome.title");
    return text;
}

QString Texts::welcomeSubtitle(const QString& key) {
    return Catalog::text("welcome.subtitle", {key});
}

const QString& Texts::welcomeStepsIntro() {
    static const QString text = Catalog::text("welcome.stepsIntro");
    return text;
}

const QString& Texts::microphoneTitle() {
    static const QString text = Catalog::text("welcome.microphone.title");
    return text;
}

const QString& Texts::microphoneDetail() {
    static const QString text = Catalog::text("welcome.microphone.detail");
    return text;
}

const QString& Texts::accessibilityTitle() {
    static const QString text = Catalog::text("welcome.accessibility.title");
    return text;
}

const QString& Texts::accessibilityDetail() {
    static const QString text = Catalog::text("welcome.accessibility.detail");
    return text;
}

const QString& Texts::allow() {
    static const QString text = Catalog::text("welcome.allow");
    return text;
}

const QString& Texts::openSettings() {
    static const QString text = Catalog::text("welcome.openSettings");
    return text;
}

const QString& Texts::granted() {
    static const QString text = Catalog::text("welcome.granted");
    return text;
}

const QString& Texts::notGranted() {
    static const QString text = Catalog::text("welcome.notGranted");
    return text;
}

QString Texts::allSet(const QString& key) {
    return Catalog::text("welcome.allSet", {key});
}

const QString& Texts::later() {
    static const QString text = Catalog::text("welcome.later");
    return text;
}

const QString& Texts::start() {
    static const QString text = Catalog::text("welcome.start");
    return text;
}

const QString& Texts::settingsTitle() {
    static const QString text = Catalog::text("settings.title");
    return text;
}

const QString& Texts::accountSection() {
    static const QString text = Catalog::text("settings.account");
    return text;
}

const QString& Texts::signOut() {
    static const QString text = Catalog::text("settings.signOut");
    return text;
}

const QString& Texts::signInItem() {
    static const QString text = Catalog::text("settings.signIn");
    return text;
}

const QString& Texts::deleteAccountItem() {
    static const QString text = Catalog::text("settings.deleteAccount");
    return text;
}

const QString& Texts::deleteAccountTitle() {
    static const QString text = Catalog::text("settings.deleteAccount.title");
    return text;
}

const QString& Texts::deleteAccountLoss() {
    static const QString text = Catalog::text("settings.deleteAccount.loss");
    return text;
}

const QString& Texts::deleteAccountRefund() {
    static const QString text = Catalog::text("settings.deleteAccount.refund");
    return text;
}

const QString& Texts::deleteAccountKept() {
    static const QString text = Catalog::text("settings.deleteAccount.kept");
    return text;
}

const QString& Texts::deleteAccountConfirm() {
    static const QString text = Catalog::text("settings.deleteAccount.confirm");
    return text;
}

const QString& Texts::deleteAccountStripeFailed() {
    static const QString text = Catalog::text("settings.deleteAccount.stripeFailed");
    return text;
}

const QString& Texts::dictationSection() {
    static const QString text = Catalog::text("settings.dictation");
    return text;
}

const QString& Texts::holdKey() {
    static const QString text = Catalog::text("settings.holdKey");
    return text;
}

const QString& Texts::language() {
    static const QString text = Catalog::text("settings.language");
    return text;
}

const QString& Texts::languageFooter() {
    static const QString text = Catalog::text("settings.languageFooter");
    return text;
}

const QString& Texts::pasteLastItem() {
    static const QString text = Catalog::text("menu.pasteLast");
    return text;
}

const QString& Texts::pasteAgainMessage() {
    static const QString text = Catalog::text("pill.pasteAgain");
    return text;
}

QString Texts::keySourceShortcut(const QString& trigger) {
    return Catalog::text("settings.keySource.shortcut", {trigger});
}

const QString& Texts::keySourceShortcutUnset() {
    static const QString text = Catalog::text("settings.keySource.shortcutUnset");
    return text;
}

const QString& Texts::keySourceBinding() {
    static const QString text = Catalog::text("settings.keySource.binding");
    return text;
}

const QString& Texts::keySourceKeyboards() {
    static const QString text = Catalog::text("settings.keySource.keyboards");
    return text;
}

const QString& Texts::keySourceWhereDesktop() {
    static const QString text = Catalog::text("settings.keySource.whereDesktop");
    return text;
}

const QString& Texts::keySourceWhereCompositor() {
    static const QString text = Catalog::text("settings.keySource.whereCompositor");
    return text;
}

const QString& Texts::keySourceConfigure() {
    static const QString text = Catalog::text("settings.keySource.configure");
    return text;
}

const QString& Texts::generalSection() {
    static const QString text = Catalog::text("settings.general");
    return text;
}

const QString& Texts::launchAtLogin() {
    static const QString text = Catalog::text("settings.launchAtLogin");
    return text;
}

const QString& Texts::launchAtLoginApproval() {
    static const QString text = Catalog::text("settings.launchAtLoginApproval");
    return text;
}

const QString& Texts::launchAtLoginFailed() {
    static const QString text = Catalog::text("settings.launchAtLoginFailed");
    return text;
}

const QString& Texts::statusSection() {
    static const QString text = Catalog::text("settings.status");
    return text;
}

const QString& Texts::proTitle() {
    static const QString text = Catalog::text("pro.title");
    return text;
}

const QString& Texts::proPitch() {
    static const QString text = Catalog::text("pro.pitch");
    return text;
}

const QString& Texts::subscribe() {
    static const QString text = Catalog::text("pro.subscribe");
    return text;
}

const QString& Texts::checkoutNote() {
    static const QString text = Catalog::text("pro.checkoutNote");
    return text;
}

const QString& Texts::manageSubscription() {
    static const QString text = Catalog::text("pro.manage");
    return text;
}

const QString& Texts::portalNote() {
    static const QString text = Catalog::text("pro.portalNote");
    return text;
}

const QString& Texts::paymentPending() {
    static const QString text = Catalog::text("pro.pending");
    return text;
}

const QString& Texts::browserFailed() {
    static const QString text = Catalog::text("pro.browserFailed");
    return text;
}

const QString& Texts::referralTitle() {
    static const QString text = Catalog::text("referral.title");
    return text;
}

const QString& Texts::referralRule() {
    static const QString text = Catalog::text("referral.rule");
    return text;
}

const QString& Texts::referralLink() {
    static const QString text = Catalog::text("referral.link");
    return text;
}

QString Texts::referralIgnored(const QString& code) {
    return Catalog::text("referral.ignored", {code});
}

const QString& Texts::copy() {
    static const QString text = Catalog::text("referral.copy");
    return text;
}

const QString& Texts::copied() {
    static const QString text = Catalog::text("referral.copied");
    return text;
}

const QString& Texts::accountLoading() {
    static const QString text = Catalog::text("account.loading");
    return text;
}

const QString& Texts::close() {
    static const QString text = Catalog::text("common.close");
    return text;
}

const QString& Texts::cancel() {
    static const QString text = Catalog::text("common.cancel");
    return text;
}

const QString& Texts::pillListening() {
    static const QString text = Catalog::text("pill.listening");
    return text;
}

const QString& Texts::pillTranscribing() {
    static const QString text = Catalog::text("pill.transcribing");
    return text;
}
// END GENERATED

const QString& Texts::deleteAccountWarning() {
    static const QString text = deleteAccountLoss() + QStringLiteral("\n\n") +
                                deleteAccountRefund() + QStringLiteral("\n\n") +
                                deleteAccountKept();
    return text;
}

} // namespace parlova::core
