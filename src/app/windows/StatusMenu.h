#pragma once

#include "core/domain/Account.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;

namespace parlova::app {

class WindowCoordinator;

// The status item's menu, built once and updated in place: the state line
// and the offer line (never clickable), the Pro and referral items, the
// settings and permissions items, the two legal pages and "Quitter Parlova",
// thirteen entries with their separators. What depends on the account is
// hidden while no account has been read.
class StatusMenu : public QObject {
    Q_OBJECT

public:
    // `onOpen` runs each time the menu is about to open.
    StatusMenu(WindowCoordinator& windows, std::function<void()> onOpen, QObject* parent = nullptr);
    ~StatusMenu() override;

    QMenu* menu() const { return m_menu.get(); }

    void update(const QString& stateLine, const std::optional<core::Account>& account);
    // Shows the entry that pastes the last dictation again, which runs
    // `paste`; none hides it.
    void offerPasteLast(std::function<void()> paste);

    // The titles of the entries shown, in order, a separator as "—".
    QStringList visibleLines() const;

    void openPro();
    // Clears the code of an invitation that could not be applied first.
    void openReferral();
    void openSettings();
    void openPermissions();
    // Opens the address that the item carries, if it carries one.
    void openPage(const QAction* item);

private:
    WindowCoordinator& m_windows;
    std::function<void()> m_onOpen;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_stateLine;
    QAction* m_offerLine;
    QAction* m_pasteLastItem;
    QAction* m_pasteLastSeparator;
    std::function<void()> m_onPasteLast;
    QAction* m_proItem;
    QAction* m_referralItem;
    QAction* m_accountSeparator;
    QAction* m_termsItem;
    QAction* m_privacyItem;
    QAction* m_legalSeparator;
};

} // namespace parlova::app
