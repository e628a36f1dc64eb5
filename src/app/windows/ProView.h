#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/ProModel.h"
#include "app/controllers/StatusModel.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace parlova::app {

class FeedbackLines;
class OfferBadge;
class PlanRow;

// The Pro window: while the account is being read, a busy line; for a paid
// subscriber, the subscription summary and the customer portal; for every
// other offer (free, trial, gift), the two plans to choose from. Then the
// error of the last attempt, the note while a payment is awaited, and "Fermer".
class ProView : public QWidget {
    Q_OBJECT

public:
    ProView(StatusModel& status, ProModel& model, Clock& clock, std::function<void()> onClose,
            QWidget* parent = nullptr);

    enum class Content { pending, planChoice, summary };
    Content content() const;

    PlanRow* monthlyRow() const { return m_monthly; }
    PlanRow* yearlyRow() const { return m_yearly; }
    OfferBadge* badge() const { return m_badge; }
    QPushButton* manageButton() const { return m_manage; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showAccount();
    void showState();

    StatusModel& m_status;
    ProModel& m_model;
    Clock& m_clock;

    QWidget* m_pending;

    QWidget* m_planChoice;
    OfferBadge* m_badge;
    PlanRow* m_monthly;
    PlanRow* m_yearly;
    QWidget* m_keptLine;
    QLabel* m_kept;

    QWidget* m_summary;
    QLabel* m_summarySymbol;
    QLabel* m_planName;
    QLabel* m_planPrice;
    QLabel* m_planState;
    QPushButton* m_manage;
    QWidget* m_manageBusy;

    QWidget* m_errorLine;
    QLabel* m_error;
    QWidget* m_pendingPayment;
};

} // namespace parlova::app
