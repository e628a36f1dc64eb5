#include "platform/linux/ClipboardTextInserter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

#include <QCoro/QCoroTimer>

namespace parlova::platform {

namespace {

// Klipper, CopyQ, cliphist and wl-clipboard leave out content offered with
// this type.
const QString transientMarker = QStringLiteral("x-kde-passwordManagerHint");
// Qt's own name for an image held as a QImage rather than as bytes.
const QString qtImage = QStringLiteral("application/x-qt-image");

// An independent copy of every readable format; null when there is none.
std::unique_ptr<QMimeData> snapshot(const QMimeData* source) {
    if (source == nullptr)
        return nullptr;
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
        const QByteArray data = source->data(format);
        if (data.isEmpty())
            continue;
        copy->setData(format, data);
        any = true;
    }
    return any ? std::move(copy) : nullptr;
}

// An empty snapshot leaves the clipboard empty rather than holding the
// transcript.
void putBack(QClipboard* clipboard, std::unique_ptr<QMimeData> saved) {
    if (saved)
        clipboard->setMimeData(saved.release());
    else
        clipboard->clear();
}

} // namespace

ClipboardTextInserter::ClipboardTextInserter(std::unique_ptr<PasteShortcut> shortcut,
                                             QObject* parent)
    : TextInserter(parent)
    , m_shortcut(std::move(shortcut)) {}

ClipboardTextInserter::~ClipboardTextInserter() = default;

QCoro::Task<std::optional<core::DictationFailure>> ClipboardTextInserter::insert(QString text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    std::unique_ptr<QMimeData> saved = snapshot(clipboard->mimeData(QClipboard::Clipboard));

    auto* transcript = new QMimeData;
    transcript->setText(text);
    transcript->setData(transientMarker, QByteArrayLiteral("secret"));
    // The clipboard deletes its content when anybody replaces it, so this
    // pointer going null (or another object being current) means "changed".
    QPointer<QMimeData> placed(transcript);
    clipboard->setMimeData(transcript, QClipboard::Clipboard);

    if (!m_shortcut || !m_shortcut->send()) {
        putBack(clipboard, std::move(saved));
        co_return core::DictationFailure::insertionFailed();
    }

    co_await QCoro::sleepFor(restoreDelay);

    // The application object may be gone at shutdown.
    if (QGuiApplication::instance() == nullptr)
        co_return std::nullopt;
    clipboard = QGuiApplication::clipboard();
    if (placed && clipboard->ownsClipboard() &&
        clipboard->mimeData(QClipboard::Clipboard) == placed.data())
        putBack(clipboard, std::move(saved));
    co_return std::nullopt;
}

} // namespace parlova::platform
