#include "app/windows/ScreenWindow.h"

#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "core/texts/Texts.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

namespace parlova::app {

namespace {

constexpr char cancelProperty[] = "parlovaCancel";

// The first visible, enabled button that answers to the test.
template <typename Test>
QPushButton* findButton(const QWidget* window, Test test) {
    const QList<QPushButton*> buttons = window->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        if (button->isVisibleTo(window) && button->isEnabled() && test(button))
            return button;
    }
    return nullptr;
}

} // namespace

ScreenWindow::ScreenWindow(QWidget* content, int width, const QString& title)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint)
    , m_content(content)
    , m_width(width) {
    setWindowTitle(title);
    setWindowIcon(Symbols::applicationIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Style::margin, Style::margin, Style::margin, Style::margin);
    layout->addWidget(content);
    fit();
}

void ScreenWindow::setCancelButton(QWidget* button) {
    button->setProperty(cancelProperty, true);
}

void ScreenWindow::addCloseRow(QBoxLayout* layout, QWidget* screen, std::function<void()> onClose) {
    layout->addSpacing(4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* close = Style::button(core::Texts::close(), screen);
    close->setMinimumWidth(110);
    setCancelButton(close);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    QObject::connect(close, &QPushButton::clicked, screen, [onClose = std::move(onClose)] {
        if (onClose)
            onClose();
    });
}

void ScreenWindow::centre() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void ScreenWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window opens with the keyboard on a field to fill, or on nothing:
    // a focus ring on the first button reads as a choice already made.
    QWidget* focus = focusWidget();
    const auto* field = qobject_cast<QLineEdit*>(focus);
    if (!focus || !field || field->isReadOnly())
        setFocus(Qt::OtherFocusReason);
}

bool ScreenWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        fit();
    return handled;
}

void ScreenWindow::fit() {
    QLayout* layout = this->layout();
    layout->activate();
    const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(m_width)
                                                   : layout->totalSizeHint().height();
    const int minimum = layout->totalMinimumSize().height();
    setFixedSize(m_width, std::max(height, minimum));
}

void ScreenWindow::keyPressEvent(QKeyEvent* event) {
    QPushButton* button = nullptr;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        button = findButton(this, [](const QPushButton* b) { return b->isDefault(); });
        break;
    case Qt::Key_Escape:
        button = findButton(
            this, [](const QPushButton* b) { return b->property(cancelProperty).toBool(); });
        break;
    default:
        break;
    }
    if (button) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace parlova::app
