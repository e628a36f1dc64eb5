#include "app/widgets/PlanRow.h"

#include "app/widgets/Spinner.h"
#include "app/widgets/Style.h"
#include "core/domain/OfferText.h"
#include "core/texts/Texts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace parlova::app {

PlanRow::PlanRow(Period period, ProModel& model, QWidget* parent)
    : QWidget(parent)
    , m_period(period)
    , m_model(model) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 12, 14, 12);
    layout->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* name = new QLabel(core::OfferText::planName(period), this);
    QFont font = name->font();
    font.setWeight(QFont::DemiBold);
    name->setFont(font);
    texts->addWidget(name);
    m_price = Style::note(QString(), this);
    texts->addWidget(m_price);
    layout->addLayout(texts, 1);

    m_button = period == Period::yearly ? Style::prominentButton(core::Texts::subscribe(), this)
                                        : Style::button(core::Texts::subscribe(), this);
    m_button->setMinimumWidth(110);
    layout->addWidget(m_button);
    m_busy = new QWidget(this);
    m_busy->setMinimumWidth(110);
    auto* busy = new QHBoxLayout(m_busy);
    busy->setContentsMargins(0, 0, 0, 0);
    busy->addWidget(new Spinner(m_busy), 0, Qt::AlignCenter);
    layout->addWidget(m_busy);

    connect(m_button, &QPushButton::clicked, this,
            [this] { m_model.open(core::PaymentPage::checkout(m_period)); });
    connect(&m_model, &ProModel::openingChanged, this, &PlanRow::showState);
    showState();
}

void PlanRow::setPrices(const core::Account::Prices& prices) {
    m_price->setText(core::OfferText::price(m_period, prices));
}

bool PlanRow::isOpening() const {
    return m_model.opening() == core::PaymentPage::checkout(m_period);
}

void PlanRow::showState() {
    const bool opening = isOpening();
    m_button->setVisible(!opening);
    m_busy->setVisible(opening);
    m_button->setEnabled(!m_model.opening().has_value());
}

} // namespace parlova::app
