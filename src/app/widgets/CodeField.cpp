#include "app/widgets/CodeField.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace parlova::app {

void CodeField::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    if (!text().isEmpty() || !hasFocus() || placeholderText().isEmpty())
        return;
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(area, Qt::AlignCenter, placeholderText());
}

} // namespace parlova::app
