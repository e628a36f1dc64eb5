#include "app/windows/ReferralView.h"

#include "app/widgets/StatTile.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "app/windows/ScreenWindow.h"
#include "core/domain/OfferText.h"
#include "core/texts/Texts.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace parlova::app {

using core::OfferText;
using core::Texts;

ReferralView::ReferralView(StatusModel& status, ReferralModel& model, Clock& clock,
                           std::function<void()> onClose, QWidget* parent)
    : QWidget(parent)
    , m_status(status)
    , m_model(model)
    , m_clock(clock) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Style::spacing);
    layout->addWidget(Style::applicationIcon(Style::screenIconSize, this));
    // Above the account's part: the outcome of the invitation is known
    // before the account is.
    QFrame* notice = Style::card(this);
    auto* noticeLayout = new QHBoxLayout(notice);
    noticeLayout->setContentsMargins(14, 12, 14, 12);
    noticeLayout->addWidget(
        Style::symbolLine(QStringLiteral("info.circle.fill"), Style::accent(), QString(), notice));
    m_ignoredLine = notice;
    m_ignored = notice->findChildren<QLabel*>().constLast();
    layout->addWidget(notice);

    m_pending = Style::accountPending(this);
    layout->addWidget(m_pending);

    m_content = new QWidget(this);
    auto* content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(Style::spacing);

    content->addWidget(Style::heading(Texts::referralTitle()));
    content->addWidget(Style::note(Texts::referralRule()));

    content->addSpacing(2);
    auto* linkTitle = new QLabel(Texts::referralLink(), m_content);
    QFont font = linkTitle->font();
    font.setWeight(QFont::DemiBold);
    linkTitle->setFont(font);
    content->addWidget(linkTitle);
    auto* linkRow = new QHBoxLayout;
    linkRow->setSpacing(8);
    m_link = new QLineEdit(m_content);
    m_link->setReadOnly(true);
    m_link->setAccessibleName(Texts::referralLink());
    linkTitle->setBuddy(m_link);
    linkRow->addWidget(m_link, 1);
    m_copy = Style::button(Texts::copy(), m_content);
    m_copy->setMinimumWidth(100);
    linkRow->addWidget(m_copy);
    content->addLayout(linkRow);
    connect(m_copy, &QPushButton::clicked, this, &ReferralView::copyLink);

    auto* tiles = new QHBoxLayout;
    tiles->setSpacing(12);
    m_friends = new StatTile(m_content);
    m_months = new StatTile(m_content);
    tiles->addWidget(m_friends, 1);
    tiles->addWidget(m_months, 1);
    content->addSpacing(2);
    content->addLayout(tiles);
    layout->addWidget(m_content);

    ScreenWindow::addCloseRow(layout, this, std::move(onClose));

    connect(&m_status, &StatusModel::accountChanged, this, &ReferralView::showAccount);
    connect(&m_model, &ReferralModel::ignoredCodeChanged, this, &ReferralView::showIgnored);
    showAccount();
    showIgnored();
    setCopied(false);
}

bool ReferralView::showsAccount() const {
    return m_status.account().has_value();
}

QString ReferralView::ignoredText() const {
    return m_ignoredLine->isVisibleTo(this) ? m_ignored->text() : QString();
}

void ReferralView::showAccount() {
    const std::optional<core::Account>& account = m_status.account();
    m_pending->setVisible(!account);
    m_content->setVisible(account.has_value());
    if (!account)
        return;
    const QString link = account->referral.link.toString();
    if (m_link->text() != link) {
        m_link->setText(link);
        m_link->setCursorPosition(0);
    }
    m_friends->setFigure(account->referral.friends,
                         OfferText::friendsLabel(account->referral.friends));
    m_months->setFigure(account->referral.monthsEarned,
                        OfferText::monthsLabel(account->referral.monthsEarned));
}

void ReferralView::showIgnored() {
    const std::optional<QString>& code = m_model.ignoredCode();
    m_ignored->setText(code ? Texts::referralIgnored(*code) : QString());
    m_ignoredLine->setVisible(code.has_value());
}

void ReferralView::copyLink() {
    const std::optional<core::Account>& account = m_status.account();
    if (!account)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(account->referral.link.toString());
    setCopied(true);
    // Every press starts the two seconds again.
    m_copiedTimer = m_clock.after(copiedDuration, [this] { setCopied(false); });
}

void ReferralView::setCopied(bool copied) {
    m_copied = copied;
    m_copy->setText(copied ? Texts::copied() : Texts::copy());
    m_copy->setIcon(
        Symbols::icon(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"),
                      copied ? Style::green() : palette().color(QPalette::ButtonText)));
}

} // namespace parlova::app
