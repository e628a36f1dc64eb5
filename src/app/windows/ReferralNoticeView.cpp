#include "app/windows/ReferralNoticeView.h"

#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "core/texts/Texts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace parlova::app {

using core::Texts;

namespace {
constexpr int noticeSymbolSize = 28;
}

ReferralNoticeView::ReferralNoticeView(std::function<void()> onContinue, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Style::spacing);
    layout->addWidget(Style::applicationIcon(Style::screenIconSize, this));
    layout->addWidget(Style::heading(Texts::signedInTitle(), this));
    m_subtitle = Style::note(QString(), this);
    layout->addWidget(m_subtitle);

    auto* card = Style::card(this);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(16, 14, 16, 14);
    row->setSpacing(12);
    m_symbol = new QLabel(card);
    m_symbol->setFixedSize(noticeSymbolSize, noticeSymbolSize);
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    m_outcome = Style::body(QString(), card);
    row->addWidget(m_outcome, 1);
    layout->addWidget(card);

    layout->addSpacing(4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_continue = Style::prominentButton(Texts::continueButton(), this);
    m_continue->setDefault(true);
    m_continue->setMinimumWidth(120);
    buttons->addWidget(m_continue);
    layout->addLayout(buttons);
    connect(m_continue, &QPushButton::clicked, this, [onContinue] {
        if (onContinue)
            onContinue();
    });
}

void ReferralNoticeView::setNotice(core::ReferralOutcome outcome, const QString& email) {
    m_subtitle->setText(Texts::signedInAs(email));
    if (outcome == core::ReferralOutcome::applied)
        Symbols::paint(m_symbol, QStringLiteral("gift.fill"), Style::green(), noticeSymbolSize);
    else
        Symbols::paint(m_symbol, QStringLiteral("info.circle.fill"), Style::secondary(this),
                       noticeSymbolSize);
    m_outcome->setText(outcome.notice());
}

} // namespace parlova::app
