#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace parlova::app {

// One step of the welcome screen: a granted or missing symbol, the numbered
// title with its explanation, and on the trailing side either "Autorisé" or
// the button that asks for the permission (enabled only on the current step).
class PermissionRow : public QWidget {
    Q_OBJECT

public:
    struct State {
        int number = 1;
        QString title;
        QString detail;
        bool granted = false;
        bool isCurrent = false;
        QString buttonTitle;
    };

    explicit PermissionRow(std::function<void()> action, QWidget* parent = nullptr);

    void setState(const State& state);

    QPushButton* button() const { return m_button; }
    QLabel* grantedLabel() const { return m_granted; }

private:
    std::function<void()> m_action;
    QLabel* m_symbol;
    QLabel* m_headline;
    QLabel* m_detail;
    QLabel* m_granted;
    QPushButton* m_button;
};

} // namespace parlova::app
