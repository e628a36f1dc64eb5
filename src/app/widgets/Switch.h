#pragma once

#include <QAbstractButton>

namespace parlova::app {

// An on/off switch: a rounded track with a knob, filled with the accent
// colour when on. Space and clicks toggle it; `clicked(bool)` reports the
// user's changes, as a check box does.
class Switch : public QAbstractButton {
    Q_OBJECT

public:
    explicit Switch(QWidget* parent = nullptr);

    QSize sizeHint() const override { return QSize(40, 22); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace parlova::app
