#pragma once

#include "core/domain/Account.h"

#include <QDateTime>
#include <QFrame>

class QLabel;

namespace parlova::app {

// The account's offer line in a rounded badge: a warning while a free
// account has no word left this week, a plain waveform otherwise (and as
// soon as the week has started again, even before the account is read anew).
class OfferBadge : public QFrame {
    Q_OBJECT

public:
    explicit OfferBadge(QWidget* parent = nullptr);

    void setAccount(const core::Account& account, const QDateTime& now);

    bool showsLimit() const { return m_limit; }
    QString text() const;

private:
    QLabel* m_symbol;
    QLabel* m_text;
    bool m_limit = false;
};

} // namespace parlova::app
