#include "app/pill/PillController.h"

#include "app/pill/PillView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace parlova::app {

PillController::PillController(QObject* parent, QTimer* hideTimer)
    : Pill(parent)
    , m_hideTimer(hideTimer != nullptr ? hideTimer : new QTimer(this)) {
    m_hideTimer->setSingleShot(true);
    m_hideTimer->setTimerType(Qt::PreciseTimer);
    m_hideTimer->setInterval(messageDuration);
    connect(m_hideTimer, &QTimer::timeout, this, &PillController::hide);
}

PillController::~PillController() = default;

void PillController::present(const PillState& state) {
    // A message still counting down must not hide what comes after it.
    m_hideTimer->stop();
    m_model.setState(state);
    if (!m_view)
        m_view = std::make_unique<PillView>(&m_model);

    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect free = screen->availableGeometry();
        m_view->move(free.center().x() + 1 - PillView::panelWidth / 2,
                     free.bottom() + 1 - bottomMargin - PillView::panelHeight);
    }
    m_view->show();
    m_view->raise();
}

void PillController::showMessage(const QString& text) {
    present(PillState::message(text));
    m_hideTimer->start();
}

void PillController::hide() {
    m_hideTimer->stop();
    if (m_view)
        m_view->hide();
}

void PillController::setLevel(float level) {
    m_model.setLevel(level);
}

bool PillController::isShown() const {
    return m_view && m_view->isVisible();
}

} // namespace parlova::app
