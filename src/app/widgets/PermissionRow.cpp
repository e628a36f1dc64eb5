#include "app/widgets/PermissionRow.h"

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
constexpr int rowSymbolSize = 22;
}

PermissionRow::PermissionRow(std::function<void()> action, QWidget* parent)
    : QWidget(parent)
    , m_action(std::move(action)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(12);
    m_symbol = new QLabel(this);
    m_symbol->setFixedSize(rowSymbolSize, rowSymbolSize);
    layout->addWidget(m_symbol, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    m_headline = new QLabel(this);
    QFont font = m_headline->font();
    font.setWeight(QFont::DemiBold);
    m_headline->setFont(font);
    texts->addWidget(m_headline);
    m_detail = Style::note(QString(), this);
    texts->addWidget(m_detail);
    layout->addLayout(texts, 1);

    m_granted = new QLabel(Texts::granted(), this);
    Style::tint(m_granted, Style::green());
    layout->addWidget(m_granted, 0, Qt::AlignVCenter);
    m_button = Style::prominentButton(QString(), this);
    layout->addWidget(m_button, 0, Qt::AlignVCenter);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_action)
            m_action();
    });
}

void PermissionRow::setState(const State& state) {
    if (state.granted) {
        Symbols::paint(m_symbol, QStringLiteral("checkmark.circle.fill"), Style::green(),
                       rowSymbolSize);
    } else {
        QColor red = Style::red();
        red.setAlphaF(state.isCurrent ? 1.0 : 0.45);
        Symbols::paint(m_symbol, QStringLiteral("xmark.circle.fill"), red, rowSymbolSize);
    }
    m_symbol->setAccessibleName(state.granted ? Texts::granted() : Texts::notGranted());
    m_headline->setText(QStringLiteral("%1. %2").arg(state.number).arg(state.title));
    m_detail->setText(Style::keepTogether(state.detail));
    m_granted->setVisible(state.granted);
    m_button->setVisible(!state.granted);
    m_button->setText(state.buttonTitle);
    m_button->setEnabled(state.isCurrent);
}

} // namespace parlova::app
