#pragma once

#include <QWidget>

#include <functional>

class QBoxLayout;

namespace parlova::app {

// A window of the program around one screen: titled and closable only, a
// fixed width and a height that follows the content, so that a screen whose
// state changes never shows blank space or cut text. Return presses the
// visible default button, Escape the visible cancel button. Closing only
// hides it.
class ScreenWindow : public QWidget {
    Q_OBJECT

public:
    ScreenWindow(QWidget* content, int width, const QString& title);

    // Marks the button that Escape presses.
    static void setCancelButton(QWidget* button);
    // Ends a screen's layout with its "Fermer" button, right-aligned, which
    // Escape presses too.
    static void addCloseRow(QBoxLayout* layout, QWidget* screen, std::function<void()> onClose);

    QWidget* content() const { return m_content; }
    // Places the window in the middle of the screen under the mouse.
    void centre();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fit();

    QWidget* m_content;
    int m_width;
};

} // namespace parlova::app
