#include "app/widgets/Spinner.h"

#include "app/widgets/Style.h"

#include <QPainter>
#include <QTimer>

namespace parlova::app {

Spinner::Spinner(QWidget* parent, int size)
    : QWidget(parent)
    , m_size(size)
    , m_timer(new QTimer(this)) {
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer->setInterval(40);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 12) % 360;
        update();
    });
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(2.0, m_size / 8.0);
    const QRectF box = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    QColor track = Style::secondary(this);
    track.setAlphaF(0.25);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(box);
    painter.setPen(QPen(Style::accent(), pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, -m_angle * 16, 100 * 16);
}

void Spinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_timer->start();
}

void Spinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
}

} // namespace parlova::app
