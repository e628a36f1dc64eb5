#pragma once

#include <QString>

namespace parlova::core {

// The texts of the application's screens, menus and pill, by name. A
// constant is looked up on its first use and then kept for the life of the
// process (a screen built later shows the same words as one built earlier);
// a function looks its entry up at every call.
class Texts {
public:
    Texts() = delete;

    // BEGIN GENERATED members
    static const QString& listening();
    static const QString& transcribing();
    static const QString& permissionMissing();
    static QString ready(const QString& key);
    static const QString& settingsItem();
    static const QString& permissionsItem();
    static const QString& upgradeItem();
    static const QString& subscriptionItem();
    static const QString& referralItem();
    static const QString& quitItem();
    static const QString& terms();
    static const QString& privacy();
    static const QString& signInTitle();
    static const QString& signInSubtitle();
    static const QString& emailLabel();
    static const QString& emailPlaceholder();
    static const QString& referralLabel();
    static const QString& referralPlaceholder();
    static const QString& referralInvalid();
    static const QString& sendCode();
    static const QString& codeTitle();
    static QString codeSubtitle(const QString& email);
    static const QString& codePlaceholder();
    static const QString& submitCode();
    static const QString& resend();
    static QString resendIn(const QString& seconds);
    static QString codeResent(const QString& email);
    static const QString& changeEmail();
    static const QString& signedInTitle();
    static QString signedInAs(const QString& email);
    static const QString& continueButton();
    static const QString& welcomeTitle();
    static QString welcomeSubtitle(const QString& key);
    static const QString& welcomeStepsIntro();
    static const QString& microphoneTitle();
    static const QString& microphoneDetail();
    static const QString& accessibilityTitle();
    static const QString& accessibilityDetail();
    static const QString& allow();
    static const QString& openSettings();
    static const QString& granted();
    static const QString& notGranted();
    static QString allSet(const QString& key);
    static const QString& later();
    static const QString& start();
    static const QString& settingsTitle();
    static const QString& accountSection();
    static const QString& signOut();
    static const QString& signInItem();
    static const QString& deleteAccountItem();
    static const QString& deleteAccountTitle();
    static const QString& deleteAccountLoss();
    static const QString& deleteAccountRefund();
    static const QString& deleteAccountKept();
    static const QString& deleteAccountConfirm();
    static const QString& deleteAccountStripeFailed();
    static const QString& dictationSection();
    static const QString& holdKey();
    static const QString& language();
    static const QString& languageFooter();
    // The menu entry that pastes the last transcript again, and the pill's
    // message when the paste failed.
    static const QString& pasteLastItem();
    static const QString& pasteAgainMessage();
    // How the hold key reaches the program on Wayland, and where to change it.
    static QString keySourceShortcut(const QString& trigger);
    static const QString& keySourceShortcutUnset();
    static const QString& keySourceBinding();
    static const QString& keySourceKeyboards();
    static const QString& keySourceWhereDesktop();
    static const QString& keySourceWhereCompositor();
    static const QString& keySourceConfigure();
    static const QString& generalSection();
    static const QString& launchAtLogin();
    static const QString& launchAtLoginApproval();
    static const QString& launchAtLoginFailed();
    static const QString& statusSection();
    static const QString& proTitle();
    static const QString& proPitch();
    static const QString& subscribe();
    static const QString& checkoutNote();
    static const QString& manageSubscription();
    static const QString& portalNote();
    static const QString& paymentPending();
    static const QString& browserFailed();
    static const QString& referralTitle();
    static const QString& referralRule();
    static const QString& referralLink();
    static QString referralIgnored(const QString& code);
    static const QString& copy();
    static const QString& copied();
    static const QString& accountLoading();
    static const QString& close();
    static const QString& cancel();
    static const QString& pillListening();
    static const QString& pillTranscribing();
    // END GENERATED

    // The three paragraphs of the account deletion warning (loss, refund,
    // kept), separated by a blank line.
    static const QString& deleteAccountWarning();
};

} // namespace parlova::core
