#include "app/widgets/LevelBars.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace parlova::app {

std::array<qreal, LevelBars::barCount> LevelBars::heights(float level) {
    std::array<qreal, barCount> result{};
    for (int index = 0; index < barCount; ++index)
        result[index] = std::max(minimumHeight, qreal(level) * rowHeight * weights[index]);
    return result;
}

LevelBars::LevelBars(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(sizeHint());
    m_animation.setDuration(animationMs);
    m_animation.setEasingCurve(QEasingCurve::OutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shown = value.toFloat();
        update();
    });
}

void LevelBars::setLevel(float level) {
    if (level == m_target)
        return;
    m_target = level;
    m_animation.stop();
    m_animation.setStartValue(m_shown);
    m_animation.setEndValue(level);
    m_animation.start();
}

QSize LevelBars::sizeHint() const {
    const qreal width = barCount * barWidth + (barCount - 1) * barGap;
    return {int(std::ceil(width)), int(std::ceil(rowHeight))};
}

void LevelBars::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const auto bars = heights(m_shown);
    const qreal middle = height() / 2.0;
    for (int index = 0; index < barCount; ++index) {
        const QRectF bar(index * (barWidth + barGap), middle - bars[index] / 2.0, barWidth,
                         bars[index]);
        painter.drawRoundedRect(bar, barWidth / 2.0, barWidth / 2.0);
    }
}

} // namespace parlova::app
