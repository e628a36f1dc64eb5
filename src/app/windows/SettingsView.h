#pragma once

#include "app/controllers/LoginItem.h"
#include "app/controllers/SessionActions.h"
#include "app/controllers/StatusModel.h"
#include "core/settings/SettingsActions.h"

#include <QUrl>
#include <QWidget>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QMessageBox;
class QPushButton;

namespace parlova::app {

class Switch;

// The settings window: the account (sign-in, sign-out, deletion with its
// confirmation), the hold key and the language, opening at login, the state
// of the two permissions, the legal pages and the version. Its own state
// (the login item, a deletion under way or failed) lives as long as the
// window, so closing and reopening it keeps an error on show.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    SettingsView(StatusModel& status, core::SettingsActions& settings, SessionActions& session,
                 LoginItem loginItem, std::function<void()> onWelcome,
                 std::function<void(const QUrl&)> openUrl, QWidget* parent = nullptr);

    // The confirmation alert; "Supprimer" in it runs deleteAccount().
    void confirmDeletion();
    QCoro::Task<> deleteAccount();

    // Runs a change of the launch-at-login toggle.
    void setLaunchAtLogin(bool enabled);

    const std::optional<QString>& deletionError() const { return m_deletionError; }
    bool isDeletingAccount() const { return m_deletingAccount; }
    QMessageBox* confirmation() const { return m_confirmation; }
    QPushButton* permissionsButton() const { return m_permissions; }
    Switch* launchAtLoginToggle() const { return m_launchAtLogin; }

private:
    void showAccount();
    void showChoices();
    void showLoginItem();
    void showKeySource();
    void showPermissions();
    void showFooter();

    StatusModel& m_status;
    core::SettingsActions& m_settings;
    SessionActions& m_session;
    LoginItem m_loginItem;
    std::function<void()> m_onWelcome;
    std::function<void(const QUrl&)> m_openUrl;

    LoginItem::Status m_loginItemStatus;
    bool m_loginItemFailed = false;
    bool m_deletingAccount = false;
    std::optional<QString> m_deletionError;

    QWidget* m_signedOut;
    QWidget* m_signedIn;
    QLabel* m_email;
    QPushButton* m_signOut;
    QPushButton* m_delete;
    QWidget* m_deleting;
    QLabel* m_deletionErrorLabel;
    QMessageBox* m_confirmation = nullptr;

    QComboBox* m_holdKey;
    QComboBox* m_language;

    Switch* m_launchAtLogin;
    QLabel* m_loginItemNote;
    // How the hold key arrives on Wayland; hidden where the display server
    // shows every key.
    QWidget* m_keySourceRow;
    QLabel* m_keySource;
    QLabel* m_keySourceWhere;
    QPushButton* m_configureShortcut;

    QLabel* m_microphoneSymbol;
    QLabel* m_microphoneState;
    QLabel* m_accessibilitySymbol;
    QLabel* m_accessibilityState;
    QWidget* m_permissionsRow;
    QWidget* m_permissionsSeparator;
    QPushButton* m_permissions;

    QPushButton* m_terms;
    QPushButton* m_privacy;
};

} // namespace parlova::app
