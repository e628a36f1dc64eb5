#pragma once

#include "platform/linux/PasteShortcut.h"

#include <QObject>

#include <memory>

namespace parlova::platform {

class X11Display;

// The paste of an X11 session, through XTest. The keys are found in the
// user's layout at the moment of the paste: the key that gives "v" in any
// group (the group is locked to it for the paste), or, in a layout without
// Latin letters, a spare key code lent "v" for a moment.
class X11PasteShortcut final : public QObject, public PasteShortcut {
    Q_OBJECT

public:
    explicit X11PasteShortcut(QObject* parent = nullptr);
    ~X11PasteShortcut() override;

    QCoro::Task<core::Done<Error>> send() override;

private:
    core::Done<Error> sendNow();
    bool focusIsTerminal() const;
    void releaseHeldModifiers();
    void restoreBorrowedKey();

    std::unique_ptr<X11Display> m_display;
    bool m_xtest = false;
    // The spare key code given "v", put back once the target has read it.
    int m_borrowedKey = 0;
};

} // namespace parlova::platform
