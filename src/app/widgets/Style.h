#pragma once

#include <QColor>
#include <QString>

class QApplication;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace parlova::app {

// The look of the program's windows: colours, type scale, spacing and the
// few kinds of controls the screens are made of, so that every screen is
// built from the same parts. Colours named by the screens (green for
// granted, red for errors, orange for attention) keep their meaning on light
// and dark themes; everything else follows the desktop's palette.
class Style {
public:
    Style() = delete;

    // Space around a window's content and between its blocks.
    static constexpr int margin = 28;
    static constexpr int spacing = 14;
    // Symbols beside a line of text, and the program's icon at the top of a screen.
    static constexpr int symbolSize = 18;
    static constexpr int screenIconSize = 64;

    static QColor accent();
    static QColor green();
    static QColor red();
    static QColor orange();
    // Secondary text and symbols, from the widget's palette.
    static QColor secondary(const QWidget* widget = nullptr);

    // The style sheet of the controls below; installed once at start-up.
    static void install(QApplication& application);

    // A screen's title, large and semibold.
    static QLabel* heading(const QString& text, QWidget* parent = nullptr);
    // Running text, wrapped.
    static QLabel* body(const QString& text, QWidget* parent = nullptr);
    // Explanations and notes: wrapped, smaller, in the secondary colour.
    static QLabel* note(const QString& text, QWidget* parent = nullptr);
    // The title of a group of settings.
    static QLabel* sectionTitle(const QString& text, QWidget* parent = nullptr);
    // The text as it is drawn: the space before a French colon, semicolon,
    // question or exclamation mark never breaks, so that no line of a
    // wrapped note starts with the sign.
    static QString keepTogether(QString text);
    // Colours a label's text.
    static void tint(QLabel* label, const QColor& color);

    // The program's icon at `size` points.
    static QLabel* applicationIcon(int size, QWidget* parent = nullptr);

    // Filled with the accent colour: the one main action of a screen.
    static QPushButton* prominentButton(const QString& text, QWidget* parent = nullptr);
    static QPushButton* button(const QString& text, QWidget* parent = nullptr);
    // Text only, in the accent colour.
    static QPushButton* linkButton(const QString& text, QWidget* parent = nullptr);
    // Red text: an action that destroys something.
    static QPushButton* destructiveButton(const QString& text, QWidget* parent = nullptr);

    // A rounded panel on the window's background, holding rows.
    static QFrame* card(QWidget* parent = nullptr);
    // A hairline between two rows of a card.
    static QFrame* separator(QWidget* parent = nullptr);

    // A symbol and a wrapped text side by side (feedback lines, notices).
    // The label is the widget's only QLabel with text.
    static QWidget* symbolLine(const QString& symbol, const QColor& symbolColor,
                               const QString& text, QWidget* parent = nullptr);
    // "Reading your account…" with a busy indicator, centred.
    static QWidget* accountPending(QWidget* parent = nullptr);
};

} // namespace parlova::app
