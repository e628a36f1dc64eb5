#pragma once

#include "platform/linux/Clipboard.h"

#include <QMimeData>
#include <QPointer>

namespace parlova::platform {

// The clipboard of Qt's own platform: the X11 CLIPBOARD selection (XWayland's
// too, which the compositor hands on to Wayland programs), or Wayland's where
// Qt runs natively there. Needs the QGuiApplication.
class QtClipboard final : public Clipboard {
public:
    QCoro::Task<std::unique_ptr<QMimeData>> snapshot() override;
    core::Done<Error> place(std::unique_ptr<QMimeData> content) override;
    bool holdsPlaced() const override;
    void restore(std::unique_ptr<QMimeData> saved) override;

private:
    // The clipboard deletes its content when anybody replaces it, so this
    // pointer going null (or another object being current) means "changed".
    QPointer<QMimeData> m_placed;
};

} // namespace parlova::platform
