#pragma once

#include "platform/TextInserter.h"
#include "platform/linux/Clipboard.h"
#include "platform/linux/PasteShortcut.h"

#include <chrono>
#include <memory>

namespace parlova::platform {

// The text inserter over the CLIPBOARD selection, whichever way it is
// reached: every format of the clipboard is copied aside, the transcript goes on it marked as
// transient (clipboard histories skip it), the paste shortcut is typed, and half a second later the
// copy goes back, unless somebody put something else on the clipboard meanwhile.
class ClipboardTextInserter final : public TextInserter {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds restoreDelay{500};

    // The shortcut may be shared with whoever reports whether it can paste.
    ClipboardTextInserter(std::unique_ptr<Clipboard> clipboard,
                          std::shared_ptr<PasteShortcut> shortcut, QObject* parent = nullptr);
    // Through Qt's own clipboard.
    explicit ClipboardTextInserter(std::unique_ptr<PasteShortcut> shortcut,
                                   QObject* parent = nullptr);
    ~ClipboardTextInserter() override;

    QCoro::Task<core::Done<core::DictationFailure>>
    insert(QString text, std::shared_ptr<core::DictationTimeline> timeline = {}) override;

private:
    std::unique_ptr<Clipboard> m_clipboard;
    std::shared_ptr<PasteShortcut> m_shortcut;
};

} // namespace parlova::platform
