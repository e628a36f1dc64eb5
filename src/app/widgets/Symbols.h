#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

namespace parlova::app {

// The program's own images: one monochrome drawing per symbol name
// ("checkmark.circle.fill", "waveform"…), tinted on demand, the status-item
// drawings inked for light and dark panels, and the program's icon. Every
// image is rendered from its vector drawing at the device pixel ratio it is
// shown at, so that it stays sharp at 2×.
class Symbols {
public:
    Symbols() = delete;

    // The symbol in that colour, `size` device-independent pixels square.
    // A null pixmap for a name without a drawing.
    static QPixmap pixmap(const QString& name, const QColor& color, int size, qreal ratio);
    // The same for the screen the widget is on.
    static QPixmap pixmap(const QString& name, const QColor& color, int size,
                          const QWidget* widget);
    // A label showing the symbol; its spoken name is `accessibleName` when given.
    static QLabel* label(const QString& name, const QColor& color, int size,
                         const QString& accessibleName = {}, QWidget* parent = nullptr);
    // Gives an existing label another symbol or colour.
    static void paint(QLabel* label, const QString& name, const QColor& color, int size);
    // A tinted icon for buttons, at the usual sizes and ratios.
    static QIcon icon(const QString& name, const QColor& color);

    // One of the five status-item states, for a dark panel or a light one.
    static QIcon statusIcon(const QString& name, bool darkPanel);

    // The program's icon.
    static QIcon applicationIcon();
    static QPixmap applicationPixmap(int size, qreal ratio);
};

} // namespace parlova::app
