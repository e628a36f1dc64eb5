#pragma once

#include <QWidget>

class QLabel;

namespace parlova::app {

class LevelBars;
class PillModel;

// The pill's window: a transparent 520 × 84 panel that never takes the focus
// and lets every click through, holding a dark capsule at its bottom centre
// with an indicator (meter, spinner or warning sign) and one text.
class PillView : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 520;
    static constexpr int panelHeight = 84;
    // Space between the capsule and the panel's bottom edge.
    static constexpr int capsuleBottom = 12;

    explicit PillView(PillModel* model, QWidget* parent = nullptr);

    // The capsule's place in the panel, for tests and snapshots.
    QRect capsuleGeometry() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showState();
    void layoutCapsule();
    void cutToShape();

    PillModel* m_model;
    QWidget* m_capsule;
    LevelBars* m_bars;
    QWidget* m_spinner;
    QWidget* m_warning;
    QLabel* m_text;
};

} // namespace parlova::app
