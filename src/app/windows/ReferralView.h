#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/ReferralModel.h"
#include "app/controllers/StatusModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace parlova::app {

class StatTile;

// The referral window: the rule, the link to share with its copy button
// ("Copié" for 2 s after the last press), the friends signed up and the
// months earned; and, after an invitation link opened while signed in, why
// its code was not applied.
class ReferralView : public QWidget {
    Q_OBJECT

public:
    static constexpr double copiedDuration = 2.0;

    ReferralView(StatusModel& status, ReferralModel& model, Clock& clock,
                 std::function<void()> onClose, QWidget* parent = nullptr);

    bool isCopied() const { return m_copied; }
    void copyLink();

    QWidget* ignoredNotice() const { return m_ignoredLine; }
    QString ignoredText() const;
    QPushButton* copyButton() const { return m_copy; }
    QLineEdit* linkField() const { return m_link; }
    StatTile* friendsTile() const { return m_friends; }
    StatTile* monthsTile() const { return m_months; }
    bool showsAccount() const;

private:
    void showAccount();
    void showIgnored();
    void setCopied(bool copied);

    StatusModel& m_status;
    ReferralModel& m_model;
    Clock& m_clock;
    bool m_copied = false;
    std::unique_ptr<Clock::Timer> m_copiedTimer;

    QWidget* m_pending;
    QWidget* m_content;
    QWidget* m_ignoredLine;
    QLabel* m_ignored;
    QLineEdit* m_link;
    QPushButton* m_copy;
    StatTile* m_friends;
    StatTile* m_months;
};

} // namespace parlova::app
