#include "app/widgets/StatTile.h"

#include "app/widgets/Style.h"
#include "core/domain/OfferText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace parlova::app {

StatTile::StatTile(QWidget* parent)
    : QFrame(parent) {
    setProperty("role", QStringLiteral("tile"));
    setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 14);
    layout->setSpacing(2);
    m_value = new QLabel(this);
    QFont font = m_value->font();
    // 28 points, rounded where the desktop has such a face.
    font.setPointSizeF(28);
    font.setWeight(QFont::DemiBold);
    font.setFamilies({QStringLiteral("Nunito"), QStringLiteral("Quicksand"),
                      QStringLiteral("Comfortaa"), font.family()});
    m_value->setFont(font);
    layout->addWidget(m_value);
    m_label = Style::note(QString(), this);
    layout->addWidget(m_label);
}

void StatTile::setFigure(qint64 value, const QString& label) {
    m_value->setText(core::OfferText::grouped(value));
    m_label->setText(label);
}

QString StatTile::valueText() const {
    return m_value->text();
}

QString StatTile::labelText() const {
    return m_label->text();
}

} // namespace parlova::app
