#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;

namespace parlova::app {

// An error line (red symbol) above an information line (green symbol);
// each shows only when it has a text.
class FeedbackLines : public QWidget {
    Q_OBJECT

public:
    explicit FeedbackLines(QWidget* parent = nullptr);

    void setLines(const std::optional<QString>& error, const std::optional<QString>& notice);

    QString errorText() const;
    QString noticeText() const;

private:
    QWidget* m_errorLine;
    QLabel* m_error;
    QWidget* m_noticeLine;
    QLabel* m_notice;
};

} // namespace parlova::app
