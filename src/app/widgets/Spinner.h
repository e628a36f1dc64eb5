#pragma once

#include <QWidget>

class QTimer;

namespace parlova::app {

// A small busy indicator: an arc that turns while the widget is visible.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(QWidget* parent = nullptr, int size = 18);

    QSize sizeHint() const override { return QSize(m_size, m_size); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_size;
    int m_angle = 90;
    QTimer* m_timer;
};

} // namespace parlova::app
