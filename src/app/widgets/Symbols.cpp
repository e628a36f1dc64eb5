#include "app/widgets/Symbols.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

#include <cmath>

namespace parlova::app {

namespace {

// The drawings as read from the resources; a missing one is an empty text.
const QByteArray& drawing(const QString& path) {
    static QHash<QString, QByteArray> cache;
    auto found = cache.constFind(path);
    if (found == cache.constEnd()) {
        QFile file(path);
        found = cache.insert(path, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return *found;
}

QPixmap render(const QByteArray& svg, int size, qreal ratio) {
    if (svg.isEmpty() || size <= 0)
        return {};
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    const int pixels = static_cast<int>(std::lround(size * ratio));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon iconOf(const QByteArray& svg) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QPixmap pixmap = render(svg, size, ratio);
            if (!pixmap.isNull())
                icon.addPixmap(pixmap);
        }
    }
    return icon;
}

qreal ratioOf(const QWidget* widget) {
    if (widget)
        return widget->devicePixelRatioF();
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

} // namespace

QPixmap Symbols::pixmap(const QString& name, const QColor& color, int size, qreal ratio) {
    QByteArray svg = drawing(QStringLiteral(":/symbols/%1.svg").arg(name));
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    if (color.alphaF() < 1.0) {
        // SVG colours carry no alpha: fade the whole drawing instead.
        const QPixmap opaque = render(svg, size, ratio);
        if (opaque.isNull())
            return opaque;
        QPixmap faded(opaque.size());
        faded.fill(Qt::transparent);
        faded.setDevicePixelRatio(ratio);
        QPainter painter(&faded);
        painter.setOpacity(color.alphaF());
        painter.drawPixmap(0, 0, opaque);
        return faded;
    }
    return render(svg, size, ratio);
}

QPixmap Symbols::pixmap(const QString& name, const QColor& color, int size, const QWidget* widget) {
    return pixmap(name, color, size, ratioOf(widget));
}

QLabel* Symbols::label(const QString& name, const QColor& color, int size,
                       const QString& accessibleName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFixedSize(size, size);
    paint(label, name, color, size);
    if (!accessibleName.isEmpty())
        label->setAccessibleName(accessibleName);
    return label;
}

void Symbols::paint(QLabel* label, const QString& name, const QColor& color, int size) {
    label->setPixmap(pixmap(name, color, size, ratioOf(label)));
}

QIcon Symbols::icon(const QString& name, const QColor& color) {
    QByteArray svg = drawing(QStringLiteral(":/symbols/%1.svg").arg(name));
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    return iconOf(svg);
}

QIcon Symbols::statusIcon(const QString& name, bool darkPanel) {
    const QString panel = darkPanel ? QStringLiteral("on-dark") : QStringLiteral("on-light");
    return iconOf(drawing(QStringLiteral(":/status/%1/%2.svg").arg(panel, name)));
}

QIcon Symbols::applicationIcon() {
    static const QIcon icon = iconOf(drawing(QStringLiteral(":/icons/parlova.svg")));
    return icon;
}

QPixmap Symbols::applicationPixmap(int size, qreal ratio) {
    return render(drawing(QStringLiteral(":/icons/parlova.svg")), size, ratio);
}

} // namespace parlova::app
