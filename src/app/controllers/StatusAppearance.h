#pragma once

#include "app/controllers/DictationController.h"
#include "app/controllers/StatusModel.h"
#include "core/domain/HoldKey.h"

#include <QString>

namespace parlova::app {

// What the status item shows: one of five symbols and the state line, which
// is also its tooltip and the first line of the menu. Listening and
// transcribing win over everything; when ready, a missing sign-in comes
// before a missing permission.
struct StatusAppearance {
    QString symbol;
    QString line;

    static StatusAppearance of(DictationController::Activity activity, const StatusModel& status);

    // The hold key as sentences name it: "Fn" for the function key, the
    // display name for the others.
    static QString keyName(core::HoldKey key);

    friend bool operator==(const StatusAppearance&, const StatusAppearance&) = default;
};

} // namespace parlova::app
