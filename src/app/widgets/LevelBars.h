#pragma once

#include <QVariantAnimation>
#include <QWidget>

#include <array>

namespace parlova::app {

// The pill's meter: five white capsules side by side whose heights follow
// the level, highest in the middle.
class LevelBars : public QWidget {
    Q_OBJECT

public:
    static constexpr int barCount = 5;
    static constexpr qreal barWidth = 3.0;
    static constexpr qreal barGap = 3.0;
    static constexpr qreal rowHeight = 18.0;
    static constexpr qreal minimumHeight = 3.0;
    static constexpr std::array<qreal, barCount> weights{0.55, 0.8, 1.0, 0.8, 0.55};
    static constexpr int animationMs = 80;

    // Heights of the bars, left to right, at `level` (0...1).
    static std::array<qreal, barCount> heights(float level);

    explicit LevelBars(QWidget* parent = nullptr);

    // Animates the bars towards the new level.
    void setLevel(float level);
    // The level drawn right now, on its way to the last one set.
    float shownLevel() const { return m_shown; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float m_shown = 0.0F;
    float m_target = 0.0F;
    QVariantAnimation m_animation;
};

} // namespace parlova::app
