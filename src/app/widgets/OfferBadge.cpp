#include "app/widgets/OfferBadge.h"

#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "core/domain/OfferText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

namespace parlova::app {

namespace {
constexpr int badgeSymbolSize = 16;
}

OfferBadge::OfferBadge(QWidget* parent)
    : QFrame(parent) {
    setProperty("role", QStringLiteral("badge"));
    setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 5, 12, 5);
    layout->setSpacing(6);
    m_symbol = new QLabel(this);
    m_symbol->setFixedSize(badgeSymbolSize, badgeSymbolSize);
    layout->addWidget(m_symbol);
    m_text = new QLabel(this);
    layout->addWidget(m_text);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void OfferBadge::setAccount(const core::Account& account, const QDateTime& now) {
    m_limit = account.isAtLimit(now);
    m_text->setText(core::OfferText::line(account.offer, account.week.remaining.value_or(0)));
    if (m_limit)
        Symbols::paint(m_symbol, QStringLiteral("exclamationmark.circle.fill"), Style::orange(),
                       badgeSymbolSize);
    else
        Symbols::paint(m_symbol, QStringLiteral("waveform"), Style::secondary(this),
                       badgeSymbolSize);
    setProperty("tone", m_limit ? QStringLiteral("attention") : QString());
    style()->unpolish(this);
    style()->polish(this);
}

QString OfferBadge::text() const {
    return m_text->text();
}

} // namespace parlova::app
