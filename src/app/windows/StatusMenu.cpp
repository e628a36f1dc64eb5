#include "app/windows/StatusMenu.h"

#include "app/windows/WindowCoordinator.h"
#include "core/domain/OfferText.h"
#include "core/texts/Texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace parlova::app {

using core::Texts;

StatusMenu::StatusMenu(WindowCoordinator& windows, std::function<void()> onOpen, QObject* parent)
    : QObject(parent)
    , m_windows(windows)
    , m_onOpen(std::move(onOpen))
    , m_menu(std::make_unique<QMenu>()) {
    QMenu& menu = *m_menu;
    m_stateLine = menu.addAction(QString());
    m_stateLine->setEnabled(false);
    m_offerLine = menu.addAction(QString());
    m_offerLine->setEnabled(false);
    m_pasteLastSeparator = menu.addSeparator();
    m_pasteLastItem = menu.addAction(Texts::pasteLastItem(), this, [this] {
        if (m_onPasteLast)
            m_onPasteLast();
    });
    menu.addSeparator();
    m_proItem = menu.addAction(Texts::upgradeItem(), this, &StatusMenu::openPro);
    m_referralItem = menu.addAction(Texts::referralItem(), this, &StatusMenu::openReferral);
    m_accountSeparator = menu.addSeparator();
    QAction* settings = menu.addAction(Texts::settingsItem(), this, &StatusMenu::openSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setShortcutVisibleInContextMenu(true);
    menu.addAction(Texts::permissionsItem(), this, &StatusMenu::openPermissions);
    m_legalSeparator = menu.addSeparator();
    m_termsItem = menu.addAction(Texts::terms());
    connect(m_termsItem, &QAction::triggered, this, [this] { openPage(m_termsItem); });
    m_privacyItem = menu.addAction(Texts::privacy());
    connect(m_privacyItem, &QAction::triggered, this, [this] { openPage(m_privacyItem); });
    menu.addSeparator();
    QAction* quit = menu.addAction(Texts::quitItem(), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutVisibleInContextMenu(true);

    connect(&menu, &QMenu::aboutToShow, this, [this] {
        if (m_onOpen)
            m_onOpen();
    });
    update(QString(), std::nullopt);
    offerPasteLast({});
}

void StatusMenu::offerPasteLast(std::function<void()> paste) {
    m_onPasteLast = std::move(paste);
    m_pasteLastItem->setVisible(bool(m_onPasteLast));
    m_pasteLastSeparator->setVisible(bool(m_onPasteLast));
}

StatusMenu::~StatusMenu() = default;

void StatusMenu::update(const QString& stateLine, const std::optional<core::Account>& account) {
    m_stateLine->setText(stateLine);
    m_offerLine->setText(
        account ? core::OfferText::line(account->offer, account->week.remaining.value_or(0))
                : QString());
    m_proItem->setText(account && account->isSubscriber() ? Texts::subscriptionItem()
                                                          : Texts::upgradeItem());
    for (QAction* item : {m_offerLine, m_proItem, m_referralItem, m_accountSeparator})
        item->setVisible(account.has_value());

    const std::optional<QUrl> terms = account ? account->links.terms : std::nullopt;
    const std::optional<QUrl> privacy = account ? account->links.privacy : std::nullopt;
    m_termsItem->setData(terms ? QVariant(*terms) : QVariant());
    m_privacyItem->setData(privacy ? QVariant(*privacy) : QVariant());
    m_termsItem->setVisible(terms.has_value());
    m_privacyItem->setVisible(privacy.has_value());
    m_legalSeparator->setVisible(terms || privacy);
}

QStringList StatusMenu::visibleLines() const {
    QStringList lines;
    for (const QAction* item : m_menu->actions()) {
        if (!item->isVisible())
            continue;
        lines.append(item->isSeparator() ? QStringLiteral("\u2014") : item->text());
    }
    return lines;
}

void StatusMenu::openPro() {
    m_windows.show(WindowCoordinator::Screen::pro);
}

void StatusMenu::openReferral() {
    m_windows.referral().setIgnoredCode(std::nullopt);
    m_windows.show(WindowCoordinator::Screen::referral);
}

void StatusMenu::openSettings() {
    m_windows.show(WindowCoordinator::Screen::settings);
}

void StatusMenu::openPermissions() {
    m_windows.show(WindowCoordinator::Screen::welcome);
}

void StatusMenu::openPage(const QAction* item) {
    const QVariant data = item ? item->data() : QVariant();
    if (data.typeId() == QMetaType::QUrl)
        m_windows.openUrl(data.toUrl());
}

} // namespace parlova::app
