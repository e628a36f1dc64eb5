#pragma once

#include "app/controllers/ProModel.h"
#include "core/domain/Account.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace parlova::app {

// One plan of the plan choice: its name and price, and "S’abonner", which a
// busy indicator replaces while this plan's checkout opens.
class PlanRow : public QWidget {
    Q_OBJECT

public:
    using Period = core::Account::Subscription::Period;

    PlanRow(Period period, ProModel& model, QWidget* parent = nullptr);

    void setPrices(const core::Account::Prices& prices);
    QPushButton* button() const { return m_button; }
    // Whether the busy indicator is shown in place of the button.
    bool isOpening() const;

private:
    void showState();

    Period m_period;
    ProModel& m_model;
    QLabel* m_price;
    QPushButton* m_button;
    QWidget* m_busy;
};

} // namespace parlova::app
