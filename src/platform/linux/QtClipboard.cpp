#include "platform/linux/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace parlova::platform {

namespace {

// Qt's own name for an image held as a QImage rather than as bytes.
const QString qtImage = QStringLiteral("application/x-qt-image");

} // namespace

QCoro::Task<std::unique_ptr<QMimeData>> QtClipboard::snapshot() {
    const QMimeData* source =
        QGuiApplication::instance() == nullptr ? nullptr : QGuiApplication::clipboard()->mimeData();
    if (source == nullptr)
        co_return std::unique_ptr<QMimeData>();
    auto copy = std::make_unique<QMimeData>();
    bool any = false;
    for (const QString& format : source->formats()) {
        if (format == qtImage) {
            if (source->hasImage()) {
                copy->setImageData(source->imageData());
                any = true;
            }
            continue;
        }
        // An empty format is still part of the content (a marker, say):
        // kept as it is.
        copy->setData(format, source->data(format));
        any = true;
    }
    if (!any)
        co_return std::unique_ptr<QMimeData>();
    co_return copy;
}

core::Done<Clipboard::Error> QtClipboard::place(std::unique_ptr<QMimeData> content) {
    if (QGuiApplication::instance() == nullptr)
        return Error::unreachable;
    m_placed = content.get();
    QGuiApplication::clipboard()->setMimeData(content.release(), QClipboard::Clipboard);
    return std::monostate{};
}

bool QtClipboard::holdsPlaced() const {
    // The application object may be gone at shutdown.
    if (QGuiApplication::instance() == nullptr || !m_placed)
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard->ownsClipboard() &&
           clipboard->mimeData(QClipboard::Clipboard) == m_placed.data();
}

void QtClipboard::restore(std::unique_ptr<QMimeData> saved) {
    if (QGuiApplication::instance() == nullptr)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    m_placed = nullptr;
    if (saved)
        clipboard->setMimeData(saved.release(), QClipboard::Clipboard);
    else
        clipboard->clear();
}

} // namespace parlova::platform
