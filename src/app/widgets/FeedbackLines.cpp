#include "app/widgets/FeedbackLines.h"

#include "app/widgets/Style.h"

#include <QLabel>
#include <QVBoxLayout>

namespace parlova::app {

FeedbackLines::FeedbackLines(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_errorLine = Style::symbolLine(QStringLiteral("exclamationmark.circle.fill"), Style::red(),
                                    QString(), this);
    m_error = m_errorLine->findChildren<QLabel*>().constLast();
    m_noticeLine =
        Style::symbolLine(QStringLiteral("checkmark.circle.fill"), Style::green(), QString(), this);
    m_notice = m_noticeLine->findChildren<QLabel*>().constLast();
    layout->addWidget(m_errorLine);
    layout->addWidget(m_noticeLine);
    setLines(std::nullopt, std::nullopt);
}

void FeedbackLines::setLines(const std::optional<QString>& error,
                             const std::optional<QString>& notice) {
    m_error->setText(error.value_or(QString()));
    m_errorLine->setVisible(error.has_value());
    m_notice->setText(notice.value_or(QString()));
    m_noticeLine->setVisible(notice.has_value());
    setVisible(error || notice);
}

QString FeedbackLines::errorText() const {
    return m_errorLine->isVisibleTo(this) ? m_error->text() : QString();
}

QString FeedbackLines::noticeText() const {
    return m_noticeLine->isVisibleTo(this) ? m_notice->text() : QString();
}

} // namespace parlova::app
