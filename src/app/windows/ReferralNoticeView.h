#pragma once

#include "core/domain/ReferralOutcome.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace parlova::app {

// Shown in the welcome window right after a sign-in that sent a referral
// code: the session is open, and what became of the code.
class ReferralNoticeView : public QWidget {
    Q_OBJECT

public:
    explicit ReferralNoticeView(std::function<void()> onContinue, QWidget* parent = nullptr);

    void setNotice(core::ReferralOutcome outcome, const QString& email);

    QPushButton* continueButton() const { return m_continue; }

private:
    QLabel* m_subtitle;
    QLabel* m_symbol;
    QLabel* m_outcome;
    QPushButton* m_continue;
};

} // namespace parlova::app
