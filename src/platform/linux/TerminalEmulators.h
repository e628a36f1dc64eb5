#pragma once

#include <QStringList>
#include <QStringView>

namespace parlova::platform {

// Terminal emulators paste with Ctrl+Shift+V, Ctrl+V being a control
// character there. Known by the WM_CLASS of their windows.
class TerminalEmulators {
public:
    // True when either part of a WM_CLASS (instance or class) names one.
    static bool isTerminal(QStringView instance, QStringView windowClass);

    // Window classes recognised, lower case.
    static const QStringList& classes();
};

} // namespace parlova::platform
