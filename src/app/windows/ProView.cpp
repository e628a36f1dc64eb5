#include "app/windows/ProView.h"

#include "app/widgets/OfferBadge.h"
#include "app/widgets/PlanRow.h"
#include "app/widgets/Spinner.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "app/windows/ScreenWindow.h"
#include "core/domain/OfferText.h"
#include "core/texts/Texts.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace parlova::app {

using core::Account;
using core::OfferText;
using core::Texts;

namespace {

constexpr int summarySymbolSize = 30;

QVBoxLayout* blockLayout(QWidget* block) {
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Style::spacing);
    return layout;
}

} // namespace

ProView::ProView(StatusModel& status, ProModel& model, Clock& clock, std::function<void()> onClose,
                 QWidget* parent)
    : QWidget(parent)
    , m_status(status)
    , m_model(model)
    , m_clock(clock) {
    QVBoxLayout* layout = blockLayout(this);
    layout->addWidget(Style::applicationIcon(Style::screenIconSize, this));

    m_pending = Style::accountPending(this);
    layout->addWidget(m_pending);

    // Plan choice.
    m_planChoice = new QWidget(this);
    QVBoxLayout* choice = blockLayout(m_planChoice);
    choice->addWidget(Style::heading(Texts::proTitle()));
    choice->addWidget(Style::note(Texts::proPitch()));
    m_badge = new OfferBadge(m_planChoice);
    choice->addWidget(m_badge, 0, Qt::AlignLeft);
    QFrame* plans = Style::card(m_planChoice);
    auto* planRows = new QVBoxLayout(plans);
    planRows->setContentsMargins(0, 0, 0, 0);
    planRows->setSpacing(0);
    m_monthly = new PlanRow(PlanRow::Period::monthly, m_model, plans);
    m_yearly = new PlanRow(PlanRow::Period::yearly, m_model, plans);
    planRows->addWidget(m_monthly);
    planRows->addWidget(Style::separator(plans));
    planRows->addWidget(m_yearly);
    choice->addWidget(plans);
    m_keptLine =
        Style::symbolLine(QStringLiteral("gift.fill"), Style::green(), QString(), m_planChoice);
    m_kept = m_keptLine->findChildren<QLabel*>().constLast();
    choice->addWidget(m_keptLine);
    choice->addWidget(Style::note(Texts::checkoutNote()));
    layout->addWidget(m_planChoice);

    // Subscription summary.
    m_summary = new QWidget(this);
    QVBoxLayout* summary = blockLayout(m_summary);
    summary->addWidget(Style::heading(Texts::proTitle()));
    QFrame* plan = Style::card(m_summary);
    auto* planLayout = new QHBoxLayout(plan);
    planLayout->setContentsMargins(16, 14, 16, 14);
    planLayout->setSpacing(14);
    m_summarySymbol = new QLabel(plan);
    m_summarySymbol->setFixedSize(summarySymbolSize, summarySymbolSize);
    planLayout->addWidget(m_summarySymbol, 0, Qt::AlignTop);
    auto* planTexts = new QVBoxLayout;
    planTexts->setSpacing(3);
    m_planName = new QLabel(plan);
    QFont nameFont = m_planName->font();
    nameFont.setWeight(QFont::DemiBold);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.1);
    m_planName->setFont(nameFont);
    planTexts->addWidget(m_planName);
    m_planPrice = Style::note(QString(), plan);
    planTexts->addWidget(m_planPrice);
    m_planState = Style::body(QString(), plan);
    planTexts->addWidget(m_planState);
    planLayout->addLayout(planTexts, 1);
    summary->addWidget(plan);
    auto* manageRow = new QHBoxLayout;
    m_manage = Style::prominentButton(Texts::manageSubscription(), m_summary);
    manageRow->addWidget(m_manage);
    m_manageBusy = new QWidget(m_summary);
    auto* busy = new QHBoxLayout(m_manageBusy);
    busy->setContentsMargins(12, 0, 12, 0);
    busy->addWidget(new Spinner(m_manageBusy));
    manageRow->addWidget(m_manageBusy);
    manageRow->addStretch();
    summary->addLayout(manageRow);
    summary->addWidget(Style::note(Texts::portalNote()));
    layout->addWidget(m_summary);
    connect(m_manage, &QPushButton::clicked, this,
            [this] { m_model.open(core::PaymentPage::portal()); });

    // What happened to the last attempt, and a payment being awaited.
    m_errorLine = Style::symbolLine(QStringLiteral("exclamationmark.circle.fill"), Style::red(),
                                    QString(), this);
    m_error = m_errorLine->findChildren<QLabel*>().constLast();
    layout->addWidget(m_errorLine);
    m_pendingPayment = new QWidget(this);
    auto* pending = new QHBoxLayout(m_pendingPayment);
    pending->setContentsMargins(0, 0, 0, 0);
    pending->setSpacing(10);
    pending->addWidget(new Spinner(m_pendingPayment), 0, Qt::AlignTop);
    pending->addWidget(Style::note(Texts::paymentPending(), m_pendingPayment), 1);
    layout->addWidget(m_pendingPayment);

    ScreenWindow::addCloseRow(layout, this, std::move(onClose));

    connect(&m_status, &StatusModel::accountChanged, this, &ProView::showAccount);
    connect(&m_status, &StatusModel::paymentPendingChanged, this, &ProView::showState);
    connect(&m_model, &ProModel::errorChanged, this, &ProView::showState);
    connect(&m_model, &ProModel::openingChanged, this, &ProView::showState);
    showAccount();
}

ProView::Content ProView::content() const {
    const std::optional<Account>& account = m_status.account();
    if (!account)
        return Content::pending;
    return account->isSubscriber() ? Content::summary : Content::planChoice;
}

void ProView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The badge and the kept days depend on the time, not only on the account.
    showAccount();
}

void ProView::showAccount() {
    const Content shown = content();
    m_pending->setVisible(shown == Content::pending);
    m_planChoice->setVisible(shown == Content::planChoice);
    m_summary->setVisible(shown == Content::summary);
    const std::optional<Account>& account = m_status.account();
    if (account && shown == Content::planChoice) {
        const QDateTime now = m_clock.now();
        m_badge->setAccount(*account, now);
        m_monthly->setPrices(account->prices);
        m_yearly->setPrices(account->prices);
        const std::optional<QDateTime> kept = account->offeredProKept(now);
        m_kept->setText(kept ? OfferText::offeredProKept(*kept) : QString());
        m_keptLine->setVisible(kept.has_value());
    }
    if (account && shown == Content::summary) {
        const std::optional<Account::Subscription>& subscription = account->subscription;
        const bool attention =
            subscription && (subscription->cancelsAtPeriodEnd || subscription->paymentFailed());
        Symbols::paint(m_summarySymbol,
                       attention ? QStringLiteral("exclamationmark.circle.fill")
                                 : QStringLiteral("checkmark.seal.fill"),
                       attention ? Style::orange() : Style::green(), summarySymbolSize);
        m_planName->setText(subscription ? OfferText::planName(subscription->period)
                                         : account->offerLine());
        m_planPrice->setVisible(subscription.has_value());
        m_planState->setVisible(subscription.has_value());
        if (subscription) {
            m_planPrice->setText(OfferText::price(subscription->period, account->prices));
            m_planState->setText(OfferText::subscriptionState(*subscription));
            Style::tint(m_planState,
                        attention ? Style::orange() : palette().color(foregroundRole()));
        }
    }
    showState();
}

void ProView::showState() {
    const bool portalOpening = m_model.opening() == core::PaymentPage::portal();
    m_manage->setVisible(!portalOpening);
    m_manageBusy->setVisible(portalOpening);
    m_manage->setEnabled(!m_model.opening().has_value());
    m_error->setText(m_model.error().value_or(QString()));
    m_errorLine->setVisible(m_model.error().has_value());
    m_pendingPayment->setVisible(m_status.paymentPending());
}

} // namespace parlova::app
