#pragma once

#include "app/windows/WindowCoordinator.h"

#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <optional>

namespace parlova::app {

// Snapshot mode: renders the windows, the menu texts and the pill in a
// fixed series of sample states into a folder, then quits the program. It
// runs the very screens users see, on a fake session that answers at once.
class Snapshots {
public:
    Snapshots() = delete;

    // Time given to a window to lay itself out and draw before it is taken.
    static constexpr int settleMs = 700;

    // The folder after the first "--capturer", if one follows it.
    static std::optional<QString> folder(const QStringList& arguments);

    // Writes the nine screens, the two menu texts and the five pill states
    // into the folder (made if missing), then quits the application with 0,
    // or with 1 when the folder cannot be made.
    static QCoro::Task<> capture(QString folder);

    // Shows the screen, lets it settle, writes it as NAME.png and closes it.
    static QCoro::Task<> shoot(WindowCoordinator::Screen screen, WindowCoordinator& windows,
                               QString name, QString folder);
};

} // namespace parlova::app
