#pragma once

#include "core/Result.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <memory>

class QMimeData;

namespace parlova::platform {

// The CLIPBOARD selection as the text inserter needs it: copied aside,
// replaced, and put back. One implementation per way of reaching it.
class Clipboard {
public:
    // Why the clipboard could not be taken.
    enum class Error {
        unreachable, // no clipboard to talk to: no application, no connection
        notOffered,  // the new content could not be handed to the compositor
        notRead,     // a format of the content did not come through in time
    };
    static QString message(Error error) {
        switch (error) {
        case Error::unreachable:
            return QStringLiteral("Le presse-papiers est injoignable.");
        case Error::notOffered:
            return QStringLiteral("Le presse-papiers n’a pas pris le texte.");
        case Error::notRead:
            return QStringLiteral("Le presse-papiers n’a pas pu être lu.");
        }
        return {};
    }

    virtual ~Clipboard() = default;

    // An independent copy of every readable format of the current content;
    // null when the clipboard is empty.
    virtual QCoro::Task<std::unique_ptr<QMimeData>> snapshot() = 0;
    // Offers every format of `content` as the clipboard's new content.
    virtual core::Done<Error> place(std::unique_ptr<QMimeData> content) = 0;
    // Whether the content of the last place() is still the clipboard's:
    // false as soon as anybody else has put something there.
    virtual bool holdsPlaced() const = 0;
    // Puts `saved` back, or leaves the clipboard empty when it is null.
    virtual void restore(std::unique_ptr<QMimeData> saved) = 0;
};

} // namespace parlova::platform
