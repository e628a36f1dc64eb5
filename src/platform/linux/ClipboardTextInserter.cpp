#include "platform/linux/ClipboardTextInserter.h"

#include "platform/linux/QtClipboard.h"

#include <QMimeData>
#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroTimer>

namespace parlova::platform {

namespace {

// Klipper, CopyQ, cliphist and wl-clipboard leave out content offered with
// this type.
const QString transientMarker = QStringLiteral("x-kde-passwordManagerHint");

} // namespace

ClipboardTextInserter::ClipboardTextInserter(std::unique_ptr<Clipboard> clipboard,
                                             std::shared_ptr<PasteShortcut> shortcut,
                                             QObject* parent)
    : TextInserter(parent)
    , m_clipboard(std::move(clipboard))
    , m_shortcut(std::move(shortcut)) {}

ClipboardTextInserter::ClipboardTextInserter(std::unique_ptr<PasteShortcut> shortcut,
                                             QObject* parent)
    : ClipboardTextInserter(std::make_unique<QtClipboard>(), std::move(shortcut), parent) {}

ClipboardTextInserter::~ClipboardTextInserter() = default;

QCoro::Task<core::Done<core::DictationFailure>>
ClipboardTextInserter::insert(QString text, std::shared_ptr<core::DictationTimeline> timeline) {
    using Stage = core::DictationTimeline::Stage;
    const auto mark = [&timeline](Stage stage) {
        if (timeline)
            timeline->mark(stage);
    };
    QPointer<ClipboardTextInserter> self(this);
    std::unique_ptr<QMimeData> saved = co_await m_clipboard->snapshot();
    if (!self)
        co_return core::DictationFailure::insertionFailed();

    auto transcript = std::make_unique<QMimeData>();
    transcript->setText(text);
    transcript->setData(transientMarker, QByteArrayLiteral("secret"));
    bool sent = false;
    // Held here: the shortcut outlives this paste even if we do not.
    const std::shared_ptr<PasteShortcut> shortcut = m_shortcut;
    if (m_clipboard->place(std::move(transcript)).ok() && shortcut) {
        mark(Stage::clipboardSet);
        QCoro::Task<core::Done<PasteShortcut::Error>> sending = shortcut->send();
        const core::Done<PasteShortcut::Error> typed = co_await std::move(sending);
        sent = typed.ok();
    }
    if (!self)
        co_return core::DictationFailure::insertionFailed();
    if (!sent) {
        m_clipboard->restore(std::move(saved));
        co_return core::DictationFailure::insertionFailed();
    }

    mark(Stage::pasteSent);

    // Precise: a coarse timer may fire up to 5 % early, before the target
    // has read the clipboard.
    QTimer wait;
    wait.setTimerType(Qt::PreciseTimer);
    wait.setSingleShot(true);
    wait.start(restoreDelay);
    co_await wait;

    if (self && m_clipboard->holdsPlaced())
        m_clipboard->restore(std::move(saved));
    mark(Stage::clipboardRestored);
    co_return core::Done<core::DictationFailure>(std::monostate{});
}

} // namespace parlova::platform
