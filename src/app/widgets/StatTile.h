#pragma once

#include <QFrame>

class QLabel;

namespace parlova::app {

// A referral figure: the number, large, above what it counts.
class StatTile : public QFrame {
    Q_OBJECT

public:
    explicit StatTile(QWidget* parent = nullptr);

    void setFigure(qint64 value, const QString& label);

    QString valueText() const;
    QString labelText() const;

private:
    QLabel* m_value;
    QLabel* m_label;
};

} // namespace parlova::app
